' A script host calling late-bound, as the sales hosts do. Argument: the connection string.
On Error Resume Next
Sub Show(label, value)
    If Err.Number <> 0 Then
        WScript.Echo label & " error " & Err.Number & " " & Err.Description
        Err.Clear
    Else
        WScript.Echo label & " [" & value & "]"
    End If
End Sub

Set o = CreateObject("QuorvelV11.GetAnalyseBarCode")
Show "create", TypeName(o)
o.ConnString = WScript.Arguments(0)
o.ConnectionTime = 5
o.TxmGZ = "R01"
o.TXMName = "2100123004567"
Show "properties", "set"

Show "literals", o.ParseBarCode("A,B", "2100123004567", "R01")
Show "missing category", o.ParseBarCode("A,C,B", "2100123004567", "R01")
Show "omitted defaults", o.ParseBarCode("A,B")
Show "empty defaults", o.ParseBarCode("A,B", "", "")
Show "skipped Txm", o.ParseBarCode("A,B", , "R01")
Show "trailing comma", o.ParseBarCode("A,B,")
Show "one category", o.ParseBarCode("B")
Show "no categories", o.ParseBarCode("")

lb = "A,B"
tx = "2100123004567"
gz = "R01"
Show "variables", o.ParseBarCode(lb, tx, gz)
Show "variables unchanged", lb & "|" & tx & "|" & gz
blank = ""
Show "empty variables", o.ParseBarCode(lb, blank, blank)
Dim uninitialised
Show "uninitialised variables", o.ParseBarCode(lb, uninitialised, uninitialised)
code = 2100123004567
Show "number variable", o.ParseBarCode(lb, CStr(code), gz)

' A timeout beyond 16 bits is refused by the argument conversion, before the property runs.
o.ConnectionTime = 40000
Show "ConnectionTime 40000", "accepted"
o.ConnectionTime = 30
Show "ConnectionTime 30", "accepted"

Show "StoreCode", o.StoreCode("R01")
Show "StoreCode variable", o.StoreCode(gz)
Show "StoreCode unknown rule", o.StoreCode("NOPE")
Show "StoreCode omitted", o.StoreCode()
Show "StoreCode scale rule", o.StoreCode("CZ18")
Show "scale label", o.ParseBarCode("A,W,B", "280012301250003750", "CZ18")

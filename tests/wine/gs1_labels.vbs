' A host cutting the labels its scanners sent, GS and symbology identifier as they came. Arguments:
' the connection string, the categories, and a file of lines "RULE<tab>LABEL". One line out per
' label: its values, or the error the call raised.
On Error Resume Next
Set o = CreateObject("QuorvelV11.GetAnalyseBarCode")
If Err.Number <> 0 Then
    WScript.Echo "create error " & Err.Number & " " & Err.Description
    WScript.Quit 1
End If
o.ConnString = WScript.Arguments(0)
o.ConnectionTime = 15
categories = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")
Set f = fso.OpenTextFile(WScript.Arguments(2), 1)
If Err.Number <> 0 Then
    WScript.Echo "open error " & Err.Number & " " & Err.Description
    WScript.Quit 1
End If
Do Until f.AtEndOfStream
    scanned = f.ReadLine
    sep = InStr(scanned, vbTab)
    rule = Left(scanned, sep - 1)
    label = Mid(scanned, sep + 1)
    value = o.ParseBarCode(categories, label, rule)
    If Err.Number <> 0 Then
        WScript.Echo "error " & Err.Number & " " & Err.Description
        Err.Clear
    Else
        WScript.Echo "[" & value & "]"
    End If
Loop
f.Close

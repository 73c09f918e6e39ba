' Two objects on one thread share the module state. Releasing one closes the shared connection,
' so the other's StoreCode fails (its box is checked by the harness) until ParseBarCode reopens.
On Error Resume Next
Set first = CreateObject("QuorvelV11.GetAnalyseBarCode")
Set second = CreateObject("QuorvelV11.GetAnalyseBarCode")
first.ConnString = WScript.Arguments(0)
second.TxmGZ = "R01"
WScript.Echo "first parses [" & first.ParseBarCode("A,B", "2100123004567") & "]"
WScript.Echo "second sees the connection [" & second.StoreCode("R01") & "]"
Set first = Nothing
WScript.Echo "after release [" & second.StoreCode("R01") & "] " & Err.Number
WScript.Echo "second reopens [" & second.ParseBarCode("A,B", "2100123004567") & "]"
WScript.Echo "and reads again [" & second.StoreCode("R01") & "]"

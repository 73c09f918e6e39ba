' Two objects on one thread share the module state. Releasing one closes the shared connection,
' so the other's StoreCode fails (its box is checked by the harness) until ParseBarCode reopens.
' (The names stay clear of built-in functions: a variable called Second cannot be Set.)
On Error Resume Next
Set objA = CreateObject("QuorvelV11.GetAnalyseBarCode")
Set objB = CreateObject("QuorvelV11.GetAnalyseBarCode")
objA.ConnString = WScript.Arguments(0)
objB.TxmGZ = "R01"
WScript.Echo "objA parses [" & objA.ParseBarCode("A,B", "2100123004567") & "]"
WScript.Echo "objB sees the connection [" & objB.StoreCode("R01") & "]"
Set objA = Nothing
WScript.Echo "after release [" & objB.StoreCode("R01") & "] " & Err.Number
WScript.Echo "objB reopens [" & objB.ParseBarCode("A,B", "2100123004567") & "]"
WScript.Echo "and reads again [" & objB.StoreCode("R01") & "]"

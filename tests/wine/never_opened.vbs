' StoreCode before any ParseBarCode on the thread: the connection was never opened. The box
' it shows is checked and dismissed by the harness; here only the answer is printed.
On Error Resume Next
Set o = CreateObject("QuorvelV11.GetAnalyseBarCode")
WScript.Echo "create " & Err.Number
gz = "R01"
r = o.StoreCode(gz)
WScript.Echo "StoreCode [" & r & "] " & Err.Number

' The host's part in the maintenance scenario: create ClsUse, set the connection, call Show.
' Run-time errors are printed, since cscript would not show them.
On Error Resume Next
Dim o
Set o = CreateObject("QuorvelV11.ClsUse")
If Err.Number <> 0 Then
    WScript.Echo "create failed: " & Err.Number & " " & Err.Description
    WScript.Quit 1
End If
o.ConnString = WScript.Arguments(0)
o.ConnectionTime = 15
o.Show
If Err.Number <> 0 Then
    WScript.Echo "show failed: " & Err.Number & " " & Err.Description
    WScript.Quit 1
End If
Set o = Nothing
WScript.Echo "closed"
' The release closed the shared connection: the analyser finds it closed and says so.
Set a = CreateObject("QuorvelV11.GetAnalyseBarCode")
WScript.Echo "after release [" & a.StoreCode("R01") & "]"

// The same component from JScript, the other script engine: arguments left out at the end
// arrive as fewer arguments rather than as placeholders.
var o = new ActiveXObject("QuorvelV11.GetAnalyseBarCode");
o.ConnString = WScript.Arguments(0);
o.TxmGZ = "R01";
o.TXMName = "2100123004567";
var lb = "A,B";
WScript.Echo("omitted defaults [" + o.ParseBarCode(lb) + "]");
WScript.Echo("explicit [" + o.ParseBarCode("A,C,B", "2100123004567", "R01") + "]");
WScript.Echo("empty defaults [" + o.ParseBarCode(lb, "", "") + "]");
WScript.Echo("StoreCode [" + o.StoreCode("R01") + "]");
WScript.Echo("StoreCode omitted [" + o.StoreCode() + "]");
// Positions count UTF-16 units, and text outside ASCII crosses the interface intact (printed
// escaped, so that the console's code page does not matter).
WScript.Echo("wide text [" + escape(o.ParseBarCode("A,B", "21\u6761\u78011234567890", "R01")) + "]");

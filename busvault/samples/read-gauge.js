// Reads the seven packets of a BM100 level gauge through Busvault.
//
//   cscript //nologo read-gauge.js [PORT [ADDRESS]]
//
// PORT is the gauge's serial port (COM200 when left out). With ADDRESS the
// requests are addressed to that gauge on the bus; without, any gauge on the
// line answers. Busvault.dll must be registered (regsvr32), and its bitness
// must match the script host's: a 32-bit Busvault.dll needs
// C:\Windows\SysWOW64\cscript.exe on a 64-bit Windows.

// Statuses are signed 32-bit numbers: 0xFFFF0000 arrives as -65536.
var BUSVAULT_STATUS_OK = 0xFFFF0000 | 0;

var args = WScript.Arguments;
var portName = args.length > 0 ? args(0) : "COM200";
var address = args.length > 1 ? parseInt(args(1), 10) : -1;

// A request frame: five SYN, STX, [0xB0, address], command 2 (read), the
// packet's code, the checksum, ETX. Every byte after STX that equals a
// control character (STX, ETX, DLE, SYN) is sent after a DLE.
function requestFrame(code, address) {
    var body = address >= 0 ? [0x02, 0xB0, address, 0x02, code] : [0x02, 0x02, code];
    var sum = 0;
    for (var i = 0; i < body.length; i++) sum = (sum + body[i] + 1) % 256;
    body.push(sum);
    var frame = [0x16, 0x16, 0x16, 0x16, 0x16, 0x02];
    for (var i = 1; i < body.length; i++) {
        var b = body[i];
        if (b == 0x02 || b == 0x03 || b == 0x10 || b == 0x16) frame.push(0x10);
        frame.push(b);
    }
    frame.push(0x03);
    return frame;
}

function hex(value, digits) {
    var text = (value >>> 0).toString(16).toUpperCase();
    while (text.length < digits) text = "0" + text;
    return text;
}

// "16 16 02 ..." from an array of numbers.
function hexList(list) {
    var parts = [];
    for (var i = 0; i < list.length; i++) parts.push(hex(list[i], 2));
    return parts.join(" ");
}

var store = new ActiveXObject("Vrel.BusvaultStore");
var link = store.CreateLink(portName, 9600, 8, "N", 1);
store.SetTimeouts(link, 200, 30);   // wait for a reply up to 200 ms; 30 ms of silence ends it
store.SetAttempts(link, 3);         // three reads, the request written once

var codes = [0x00, 0x01, 0x02, 0x0A, 0x0B, 0x14, 0x1F];
var request;
for (var i = 0; i < codes.length; i++) {
    request = requestFrame(codes[i], address);
    // A JScript array goes as it is; the reply comes back through VBArray.
    var status = store.Exchange(link, request);
    WScript.Echo("packet " + hex(codes[i], 2) + ": status " + hex(status, 1));
    WScript.Echo("  request: " + hexList(request));
    WScript.Echo("  reply: " + hexList(new VBArray(store.ReplyAsVariants(link)).toArray()));
    var stats = new VBArray(store.Statistics(link)).toArray();
    WScript.Echo("  statistics: written " + stats[0] + " in " + stats[1] + " ms, read " + stats[2] + " in " +
                 stats[3] + " ms, total " + stats[4] + " ms, attempts " + stats[5]);
    WScript.Echo("  port state: " + store.PortState(link));
}

// Mistakes throw errors with an English description.
try {
    store.Exchange(link - 1, request);   // a handle that no link has
} catch (e) {
    WScript.Echo("error " + hex(e.number, 8) + ": " + e.description);
}
try {
    store.Exchange(link, new Date());    // a date is no request
} catch (e) {
    WScript.Echo("error " + hex(e.number, 8) + ": " + e.description);
}

// The store goes on working; a request may also be hexadecimal text.
var status = store.Exchange(link, hexList(requestFrame(0, address)));
WScript.Echo("again as text: status " + hex(status, 1) + ", reply " + store.ReplyHex(link));
if (status == BUSVAULT_STATUS_OK) WScript.Echo("the gauge answers");

store.DeleteLink(link);

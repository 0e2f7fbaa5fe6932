' Reads the seven packets of a BM100 level gauge through Busvault.
'
'   cscript //nologo read-gauge.vbs [PORT [ADDRESS]]
'
' PORT is the gauge's serial port (COM200 when left out). With ADDRESS the
' requests are addressed to that gauge on the bus; without, any gauge on the
' line answers. Busvault.dll must be registered (regsvr32), and its bitness
' must match the script host's: a 32-bit Busvault.dll needs
' C:\Windows\SysWOW64\cscript.exe on a 64-bit Windows.
Option Explicit

Const BUSVAULT_STATUS_OK = &HFFFF0000

Dim portName, address
portName = "COM200"
address = -1
If WScript.Arguments.Count > 0 Then portName = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then address = CInt(WScript.Arguments(1))

' A request frame: five SYN, STX, [&HB0, address], command 2 (read), the
' packet's code, the checksum, ETX. Every byte after STX that equals a
' control character (STX, ETX, DLE, SYN) is sent after a DLE.
Function RequestFrame(code, address)
    Dim body, frame, i, sum, b
    If address >= 0 Then body = Array(2, &HB0, address, 2, code) Else body = Array(2, 2, code)
    sum = 0
    For i = 0 To UBound(body)
        sum = (sum + body(i) + 1) Mod 256
    Next
    frame = Array(&H16, &H16, &H16, &H16, &H16, 2)
    For i = 1 To UBound(body) + 1
        If i <= UBound(body) Then b = body(i) Else b = sum
        If b = 2 Or b = 3 Or b = &H10 Or b = &H16 Then frame = Append(frame, &H10)
        frame = Append(frame, b)
    Next
    RequestFrame = Append(frame, 3)
End Function

Function Append(list, value)
    ReDim Preserve list(UBound(list) + 1)
    list(UBound(list)) = value
    Append = list
End Function

' "16 16 02 ..." from an array of numbers.
Function HexList(list)
    Dim i, text
    text = ""
    For i = 0 To UBound(list)
        If i > 0 Then text = text & " "
        text = text & Right("0" & Hex(list(i)), 2)
    Next
    HexList = text
End Function

Dim store, link, codes, i, request, status, stats
Set store = CreateObject("Vrel.BusvaultStore")
link = store.CreateLink(portName, 9600, 8, "N", 1)
store.SetTimeouts link, 200, 30   ' wait for a reply up to 200 ms; 30 ms of silence ends it
store.SetAttempts link, 3         ' three reads, the request written once

codes = Array(&H00, &H01, &H02, &H0A, &H0B, &H14, &H1F)
For i = 0 To UBound(codes)
    request = RequestFrame(codes(i), address)
    status = store.Exchange(link, request)
    WScript.Echo "packet " & Right("0" & Hex(codes(i)), 2) & ": status " & Hex(status)
    WScript.Echo "  request: " & HexList(request)
    ' ReplyAsVariants gives an array VBScript can index; Reply gives Byte().
    WScript.Echo "  reply: " & HexList(store.ReplyAsVariants(link))
    stats = store.Statistics(link)
    WScript.Echo "  statistics: written " & stats(0) & " in " & stats(1) & " ms, read " & stats(2) & " in " & _
        stats(3) & " ms, total " & stats(4) & " ms, attempts " & stats(5)
    WScript.Echo "  port state: " & store.PortState(link)
Next

' Mistakes raise errors with an English description.
On Error Resume Next
status = store.Exchange(link - 1, request)   ' a handle that no link has
If Err.Number <> 0 Then WScript.Echo "error " & Hex(Err.Number) & ": " & Err.Description
Err.Clear
status = store.Exchange(link, Now)           ' a date is no request
If Err.Number <> 0 Then WScript.Echo "error " & Hex(Err.Number) & ": " & Err.Description
Err.Clear
On Error GoTo 0

' The store goes on working; a request may also be hexadecimal text.
status = store.Exchange(link, HexList(RequestFrame(0, address)))
WScript.Echo "again as text: status " & Hex(status) & ", reply " & store.ReplyHex(link)
If status = BUSVAULT_STATUS_OK Then WScript.Echo "the gauge answers"

store.DeleteLink link

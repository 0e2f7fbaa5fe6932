// Requests and replies of the automation face as the clients pass them:
// a SAFEARRAY of bytes (VBA, VB6, .NET, Python), a SAFEARRAY of Variant
// numbers (VBScript's Array), a script engine's own array object (JScript),
// or hexadecimal text; and replies handed back as arrays or text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace busvault {

// The request's bytes. False with `why` (an English sentence) for a value
// that is none of the accepted forms, an element that is no whole number
// from 0 to 255, text that is no hexadecimal, or an empty or over-long
// request.
bool RequestBytes(const VARIANT& request, std::vector<BYTE>& bytes, std::wstring& why);

// VT_ARRAY | VT_UI1, lower bound 0 (an empty array for no bytes).
HRESULT ByteArray(const std::vector<BYTE>& bytes, VARIANT* out);

// VT_ARRAY | VT_VARIANT whose elements are VT_I4 numbers, lower bound 0:
// indexable in VBScript and, through VBArray, in JScript.
HRESULT NumberArray(const std::vector<LONG>& numbers, VARIANT* out);

}  // namespace busvault

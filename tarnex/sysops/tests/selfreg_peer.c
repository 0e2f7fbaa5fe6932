// The neighbour of self-registering library 5. It is built outside the test
// programs' folder, so a copy of library 5 finds it only in its own folder.
#include <windows.h>

__declspec(dllexport) HRESULT STDAPICALLTYPE VrelPeerAnswer(void) { return S_OK; }

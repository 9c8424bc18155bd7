// Frees a block twice and writes into a freed one: under Wine's heap checker
// this must be reported, or the suite's heap-checked runs would prove nothing.
#include <windows.h>

int wmain()
{
    const HANDLE hHeap = ::GetProcessHeap();
    char* volatile pWritten = static_cast<char*>(::HeapAlloc(hHeap, 0, 64));
    ::HeapFree(hHeap, 0, pWritten);
    pWritten[8] = 1;
    ::HeapValidate(hHeap, 0, nullptr);

    void* volatile pTwice = ::HeapAlloc(hHeap, 0, 64);
    ::HeapFree(hHeap, 0, pTwice);
    ::HeapFree(hHeap, 0, pTwice);
    return 0;
}

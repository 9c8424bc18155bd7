#pragma once

// File bytes, text lines and drop handles for the tests, the benchmarks and
// the mutation runner: plain Windows, no test framework.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace TestSupport
{

// The whole content of a file; empty when it cannot be read in full.
std::string ReadFileBytes(const std::wstring& strPath);
// Writes the file with exactly these bytes; false when it could not.
bool WriteFileBytes(const std::wstring& strPath, const std::string& strBytes);

// The lines of a text, without their line ends ("\n" or "\r\n").
std::vector<std::string> SplitLines(const std::string& strText);

// A shell drop handle naming the files, as WM_DROPFILES carries it, or null
// without memory; the receiver of the message releases it.
HDROP MakeDropFiles(const std::vector<std::wstring>& vecNames);

} // namespace TestSupport

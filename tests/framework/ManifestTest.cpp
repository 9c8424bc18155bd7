#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace
{
// A setting of the manifest every exe of the project carries (resource 1 of
// type RT_MANIFEST), as the system's own parser reads it; empty when absent.
std::wstring ManifestSetting(const wchar_t* pszNamespace, const wchar_t* pszName)
{
    ACTCTXW actctx = {};
    actctx.cbSize = sizeof(actctx);
    actctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actctx.hModule = ::GetModuleHandleW(nullptr);
    actctx.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE hActCtx = ::CreateActCtxW(&actctx);
    if (hActCtx == INVALID_HANDLE_VALUE)
        return L"";
    wchar_t szValue[128] = {};
    SIZE_T cchWritten = 0;
    const BOOL bFound = ::QueryActCtxSettingsW(0, hActCtx, pszNamespace, pszName, szValue,
                                               sizeof(szValue) / sizeof(szValue[0]), &cchWritten);
    ::ReleaseActCtx(hActCtx);
    return bFound ? szValue : L"";
}
} // namespace

TEST(ManifestTest, DeclaresPerMonitorDpiAndLongPathAwareness)
{
    // Newest first: per-monitor v2, then v1, then (before Windows 10) the
    // older element's per-monitor or system awareness.
    struct SSetting
    {
        const wchar_t* pszNamespace;
        const wchar_t* pszName;
        const wchar_t* pszValue;
    };
    const SSetting settings[] = {
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", L"PerMonitorV2, PerMonitor"},
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true/pm"},
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"longPathAware", L"true"},
    };
    for (const SSetting& setting : settings)
    {
        SCOPED_TRACE(std::string(setting.pszName, setting.pszName + wcslen(setting.pszName)));
        EXPECT_EQ(setting.pszValue, ManifestSetting(setting.pszNamespace, setting.pszName));
    }
}

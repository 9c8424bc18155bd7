#include "tests/reliability_session/ReliabilityFiles.h"

#include <shellapi.h>

namespace Reliability
{

CDropFiles::CDropFiles(size_t nCount)
{
    static const wchar_t* const s_apszPictures[] = {L"bmp24.bmp", L"gif.gif", L"jpeg-baseline.jpg",
                                                    L"png32-alpha.png", L"bmp8-rle.bmp", L"tiff-2pages.tif"};
    std::vector<std::string> vecBytes;
    for (const wchar_t* pszName : s_apszPictures)
        vecBytes.push_back(TestSupport::ReadFileBytes(TestSupport::SourcePath(L"tests\\pictures\\" + std::wstring(pszName))));
    const std::string strPng = vecBytes[3];

    for (size_t i = 0; i < nCount; ++i)
    {
        const std::wstring strStem = L"f" + std::to_wstring(10000 + i);
        std::wstring strPath;
        bool bPicture = false;
        switch (i % 8)
        {
        case 3: // text in a picture's name
            strPath = m_folder.Write(strStem + L".png", "not a picture at all");
            break;
        case 5: // a PNG cut inside its header
            strPath = m_folder.Write(strStem + L".png", strPng.substr(0, 20));
            break;
        case 7: // by turns a folder, an empty file and a name with no file behind it
            strPath = m_folder.Path(strStem + L".jpg");
            if (i % 24 == 7)
                ::CreateDirectoryW(strPath.c_str(), nullptr);
            else if (i % 24 == 15)
                m_folder.Write(strStem + L".jpg", "");
            break;
        default:
        {
            const size_t nKind = i % vecBytes.size();
            const std::wstring strName = s_apszPictures[nKind];
            strPath = m_folder.Write(strStem + strName.substr(strName.rfind(L'.')), vecBytes[nKind]);
            bPicture = true;
            break;
        }
        }
        m_vecDropped.push_back(strPath);
        if (bPicture)
            m_vecDecodable.push_back(strPath);
    }
}

CTarvoToolWnd* MakePlacedStrip(IElemSelectCall* pSelectCall)
{
    CTarvoToolWnd* pStrip = new CTarvoToolWnd(pSelectCall);
    if (!pStrip->CreateStripWindow())
    {
        delete pStrip;
        return nullptr;
    }
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::SetWindowPos(pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT,
                   rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    return pStrip;
}

void DropOnStrip(HWND hWnd, const std::vector<std::wstring>& vecNames)
{
    ::SendMessageW(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(TestSupport::MakeDropFiles(vecNames)), 0);
}

std::vector<std::wstring> PathsOf(const CTarvoToolWnd& strip)
{
    std::vector<std::wstring> vecPaths;
    for (const CElem* pElem : strip.m_vecElems)
        vecPaths.push_back(pElem->m_strPath);
    return vecPaths;
}

} // namespace Reliability

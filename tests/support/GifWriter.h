#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace TestSupport
{

// One frame of a GIF made for a test.
struct SGifFrame
{
    int nLeft, nTop, cx, cy;
    int nDelay;            // hundredths of a second; -1: no control block at all
    int nDisposal;         // 0 to 3
    int nTransparent;      // the transparent index, or -1
    std::vector<BYTE> vecIndices; // cx x cy, rows top first; empty: all nFill
    BYTE nFill;
};

// A GIF89a of the frames on a cx x cy screen, with a global table of the
// colours given, padded with black to a power of two. nRepeats >= 0 adds the
// looping block with that count; -1 leaves it out.
inline std::string GifBytes(int cx, int cy, const std::vector<COLORREF>& vecPalette,
                            const std::vector<SGifFrame>& vecFrames, int nRepeats = -1)
{
    std::string s = "GIF89a";
    const auto Word = [&s](int n) {
        s += static_cast<char>(n & 0xFF);
        s += static_cast<char>((n >> 8) & 0xFF);
    };
    Word(cx);
    Word(cy);
    int nTableBits = 1;
    while ((1u << nTableBits) < vecPalette.size())
        ++nTableBits;
    s += static_cast<char>(0xF0 | (nTableBits - 1)); // a global table
    s += '\0';                                        // background index
    s += '\0';                                        // no aspect ratio
    for (int i = 0; i < (1 << nTableBits); ++i)
    {
        const COLORREF c = i < static_cast<int>(vecPalette.size()) ? vecPalette[static_cast<size_t>(i)] : 0;
        s += static_cast<char>(GetRValue(c));
        s += static_cast<char>(GetGValue(c));
        s += static_cast<char>(GetBValue(c));
    }
    if (nRepeats >= 0)
    {
        s += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
        Word(nRepeats);
        s += '\0';
    }
    for (const SGifFrame& frame : vecFrames)
    {
        if (frame.nDelay >= 0)
        {
            s += "\x21\xF9\x04";
            s += static_cast<char>((frame.nDisposal & 7) << 2 | (frame.nTransparent >= 0 ? 1 : 0));
            Word(frame.nDelay);
            s += static_cast<char>(frame.nTransparent >= 0 ? frame.nTransparent : 0);
            s += '\0';
        }
        s += '\x2C';
        Word(frame.nLeft);
        Word(frame.nTop);
        Word(frame.cx);
        Word(frame.cy);
        s += '\0';
        // Every index as a 9-bit code of its own, with a clear code often
        // enough that the code size never grows.
        s += '\x08';
        std::string strCodes;
        unsigned nBits = 0, nHeld = 0;
        const auto Code = [&](unsigned nCode) {
            nHeld |= nCode << nBits;
            nBits += 9;
            while (nBits >= 8)
            {
                strCodes += static_cast<char>(nHeld & 0xFF);
                nHeld >>= 8;
                nBits -= 8;
            }
        };
        const size_t nPixels = static_cast<size_t>(frame.cx) * static_cast<size_t>(frame.cy);
        for (size_t i = 0; i < nPixels; ++i)
        {
            if (i % 200 == 0)
                Code(256);
            Code(frame.vecIndices.empty() ? frame.nFill : frame.vecIndices[i]);
        }
        Code(257);
        if (nBits > 0)
            strCodes += static_cast<char>(nHeld & 0xFF);
        for (size_t n = 0; n < strCodes.size(); n += 255)
        {
            const size_t cb = std::min<size_t>(255, strCodes.size() - n);
            s += static_cast<char>(cb);
            s.append(strCodes, n, cb);
        }
        s += '\0';
    }
    s += '\x3B';
    return s;
}

} // namespace TestSupport

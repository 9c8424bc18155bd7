#include "framework/OleDropTarget.h"
#include "tests/dnd/DragTestObjects.h"

#include <gtest/gtest.h>

#include <vector>

using namespace DragTest;

namespace
{
const std::vector<BYTE> kPayload = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80,
                                    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

std::vector<BYTE> Bytes(HGLOBAL hGlobal)
{
    CGlobalLock lock(hGlobal);
    const BYTE* p = static_cast<const BYTE*>(lock.Get());
    return p ? std::vector<BYTE>(p, p + lock.GetSize()) : std::vector<BYTE>();
}
} // namespace

// The block handed out is the caller's alone, whether the source gave its
// medium away or kept it (then a copy, and the source's reference released).
TEST(OleDataObjectTest, GlobalDataIsTheCallersOwnBlock)
{
    const CLIPFORMAT cf = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"PictaroDataObjectTest"));
    const CLIPFORMAT cfOther = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"PictaroOther"));
    for (const bool bKeepMedium : {false, true})
    {
        SCOPED_TRACE(bKeepMedium ? "medium kept by the source" : "medium given away");
        auto* pSource = new CTestDataObject(cf, kPayload, bKeepMedium);
        {
            COleDataObject data;
            data.Attach(pSource);
            EXPECT_EQ(2u, RefCount(pSource));
            EXPECT_TRUE(data.IsDataAvailable(cf));
            EXPECT_FALSE(data.IsDataAvailable(cfOther));
            EXPECT_FALSE(data.GetGlobalData(cfOther));

            CGlobalMem block = data.GetGlobalData(cf);
            ASSERT_TRUE(block);
            EXPECT_EQ(kPayload, Bytes(block.Get()));
            EXPECT_EQ(2u, RefCount(pSource)) << "the medium's reference is given back";
            if (bKeepMedium)
            {
                EXPECT_NE(pSource->KeptMedium(), block.Get());
                block = CGlobalMem();
                EXPECT_EQ(kPayload, Bytes(pSource->KeptMedium())) << "the source's block survives";
            }

            EXPECT_EQ(pSource, data.GetIDataObject(FALSE));
            EXPECT_EQ(2u, RefCount(pSource));
            IDataObject* pAdded = data.GetIDataObject(TRUE);
            EXPECT_EQ(3u, RefCount(pSource));
            pAdded->Release();
        }
        EXPECT_EQ(0u, pSource->Release()) << "detaching gives the reference back";
    }
}

TEST(OleDataObjectTest, NothingAttachedOffersNothing)
{
    COleDataObject data;
    EXPECT_FALSE(data.IsDataAvailable(CF_HDROP));
    EXPECT_FALSE(data.GetGlobalData(CF_HDROP));
    EXPECT_EQ(nullptr, data.GetIDataObject(TRUE));
}

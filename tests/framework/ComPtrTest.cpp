#include "framework/ComPtr.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <utility>

namespace
{
// The object's references besides the one the caller keeps to ask with.
ULONG OtherReferences(IUnknown* p)
{
    p->AddRef();
    return p->Release() - 1;
}
} // namespace

// Moving one holder into another releases what the target held, hands the
// reference over without a count changing, and a self-move keeps it.
TEST(ComPtrTest, MoveAssignmentReleasesTheOldReferenceAndKeepsTheNewOne)
{
    IStream* pFirst = nullptr;
    IStream* pSecond = nullptr;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &pFirst));
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &pSecond));
    pFirst->AddRef();
    pSecond->AddRef();
    {
        CComPtr<IStream> target;
        target.Attach(pFirst);
        CComPtr<IStream> source;
        source.Attach(pSecond);
        target = std::move(source);
        EXPECT_EQ(pSecond, target.m_p);
        EXPECT_EQ(nullptr, source.m_p);
        EXPECT_EQ(0u, OtherReferences(pFirst));
        EXPECT_EQ(1u, OtherReferences(pSecond));

        CComPtr<IStream>& alias = target;
        target = std::move(alias);
        EXPECT_EQ(pSecond, target.m_p);
        EXPECT_EQ(1u, OtherReferences(pSecond));
    }
    EXPECT_EQ(0u, OtherReferences(pSecond));
    pFirst->Release();
    pSecond->Release();
}

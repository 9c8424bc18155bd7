#include "framework/DC.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace
{
// Which of the owning operations a DC type offers.
template <class T, class = void>
struct HasAttach : std::false_type
{
};
template <class T>
struct HasAttach<T, std::void_t<decltype(std::declval<T&>().Attach(HDC()))>> : std::true_type
{
};
template <class T, class = void>
struct HasCreateCompatibleDC : std::false_type
{
};
template <class T>
struct HasCreateCompatibleDC<T, std::void_t<decltype(std::declval<T&>().CreateCompatibleDC(HDC()))>>
    : std::true_type
{
};
template <class T, class = void>
struct HasDeleteDC : std::false_type
{
};
template <class T>
struct HasDeleteDC<T, std::void_t<decltype(std::declval<T&>().DeleteDC())>> : std::true_type
{
};
template <class T, class = void>
struct HasDetach : std::false_type
{
};
template <class T>
struct HasDetach<T, std::void_t<decltype(std::declval<T&>().Detach())>> : std::true_type
{
};

// A DC borrowed from a window is given back only the way it came: it can
// neither be deleted, nor swapped for another, nor passed on as a memory DC.
template <class T>
void ExpectBorrowedOnly()
{
    EXPECT_FALSE(HasAttach<T>::value);
    EXPECT_FALSE(HasCreateCompatibleDC<T>::value);
    EXPECT_FALSE(HasDeleteDC<T>::value);
    EXPECT_FALSE(HasDetach<T>::value);
    EXPECT_FALSE((std::is_convertible<T*, CDC*>::value));
    EXPECT_FALSE(std::is_copy_constructible<T>::value);
    EXPECT_FALSE(std::is_move_constructible<T>::value);
}
} // namespace

TEST(DCTest, WindowAndPaintDCsOfferNoOwningOperations)
{
    EXPECT_TRUE(HasAttach<CDC>::value && HasCreateCompatibleDC<CDC>::value && HasDeleteDC<CDC>::value &&
                HasDetach<CDC>::value)
        << "the memory DC owns its handle";
    {
        SCOPED_TRACE("CClientDC");
        ExpectBorrowedOnly<CClientDC>();
    }
    {
        SCOPED_TRACE("CPaintDC");
        ExpectBorrowedOnly<CPaintDC>();
    }
}

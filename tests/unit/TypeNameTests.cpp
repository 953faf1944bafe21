#include "link/TypeName.h"

#include <gtest/gtest.h>

#include <string>

struct RunObject;

namespace {

std::string Text(static_string view) { return std::string(view.begin(), view.end()); }

TEST(TypeName, NamesTheTypesTheLinkingMessagesPrint)
{
    EXPECT_EQ(Text(type_name<int>()), "int");
    EXPECT_EQ(Text(type_name<float>()), "float");
    EXPECT_EQ(Text(type_name<const wchar_t*>()), "const wchar_t*");
    EXPECT_EQ(Text(type_name<void>()), "void");
    EXPECT_EQ(Text(type_name<bool>()), "bool");
    // Types the checks accept besides those of the extension's own members.
    EXPECT_EQ(Text(type_name<unsigned int>()), "unsigned int");
    EXPECT_EQ(Text(type_name<RunObject*>()), "RunObject*");
}

TEST(TypeName, IsAViewThatNeedsItsLength)
{
    const static_string name = type_name<int>();
    EXPECT_EQ(name.size(), 3u);
    EXPECT_EQ(name.end() - name.begin(), 3);
    EXPECT_EQ(name.data(), name.begin());
    // The signature text goes on after the name: reading up to a NUL would print more than "int".
    EXPECT_NE(*name.end(), '\0');
    EXPECT_EQ(type_name<int>().data(), name.data()) << "a name points into static text, it is not a copy";
}

TEST(StaticString, ViewsALiteralWithoutItsNul)
{
    static const char literal[] = "abc";
    const static_string view = literal;
    EXPECT_EQ(view.size(), 3u);
    EXPECT_EQ(view.end() - view.begin(), 3);
    EXPECT_EQ(view.data(), literal);

    const static_string part(literal + 1, 1);
    EXPECT_EQ(Text(part), "b");
    EXPECT_EQ(part.begin(), literal + 1);
    EXPECT_EQ(part.end(), literal + 2);
}

} // namespace

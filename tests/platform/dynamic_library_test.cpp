#include "platform/dynamic_library.h"
#include "platform/error.h"

#include <gtest/gtest.h>

using platform::DynamicLibrary;

TEST(DynamicLibrary, LoadsByPathFindsSymbolsAndUnloads) {
    DynamicLibrary lib(SAMPLE_LIBRARY_PATH);
    ASSERT_TRUE(lib.loaded());
    auto fn = lib.function<int (*)()>("sample_answer");
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(lib.symbol("no_such_function"), nullptr);
    lib.unload();
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.symbol("sample_answer"), nullptr);
}

TEST(DynamicLibrary, LoadsByFileNameThroughTheSystemSearchOrder) {
    DynamicLibrary lib("libc.so.6");
    EXPECT_NE(lib.symbol("strlen"), nullptr);
}

TEST(DynamicLibrary, MissingFileCarriesTheLoaderText) {
    try {
        DynamicLibrary lib("/nonexistent/libMissing.so");
        FAIL() << "loaded a missing library";
    } catch (const platform::Error& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("/nonexistent/libMissing.so"), std::string::npos) << text;
        EXPECT_NE(text.find("No such file"), std::string::npos) << text;
    }
}

TEST(DynamicLibrary, MoveTransfersOwnership) {
    DynamicLibrary a(SAMPLE_LIBRARY_PATH);
    DynamicLibrary b(std::move(a));
    EXPECT_FALSE(a.loaded());
    EXPECT_TRUE(b.loaded());
    EXPECT_NE(b.symbol("sample_answer"), nullptr);
}

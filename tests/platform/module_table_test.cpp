// The module table behind LoadLibraryA and GetProcAddress, held to the
// Windows contract: names without case, load counts, handles that stop
// resolving once freed, and the error codes of failures.
#include <gtest/gtest.h>

#include "win32/module_table.hpp"

namespace {

int answer()
{
    return 42;
}

class ModuleTable : public ::testing::Test {
protected:
    void SetUp() override { win32::installModule("Test.dll", {{"answer", win32::exportEntry(&answer)}}); }
    void TearDown() override { win32::removeAllModules(); }
};

} // namespace

TEST_F(ModuleTable, loadsByNameWithoutCaseAndFindsExportsByExactName)
{
    const HMODULE module = LoadLibraryA("TEST.DLL");
    ASSERT_NE(module, nullptr);
    using Answer = int (*)();
    const auto entry = reinterpret_cast<Answer>(reinterpret_cast<void (*)()>(GetProcAddress(module, "answer")));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(), 42);
    EXPECT_EQ(GetProcAddress(module, "Answer"), nullptr); // export names keep their case
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleA("test.dll"), module);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTable, staysLoadedUntilEveryLoadIsFreedAndThenItsHandleIsDead)
{
    const HMODULE first = LoadLibraryA("test.dll");
    const HMODULE second = LoadLibraryA("test.dll");
    EXPECT_EQ(first, second);
    EXPECT_EQ(win32::moduleLoadCount("test.dll"), 2);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(first, "answer"), nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(win32::moduleLoadCount("test.dll"), 0);
    EXPECT_EQ(GetProcAddress(first, "answer"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA("test.dll"), nullptr);
    // A new load gets a new handle: the old one never comes back to life.
    const HMODULE again = LoadLibraryA("test.dll");
    EXPECT_NE(again, first);
    FreeLibrary(again);
}

TEST_F(ModuleTable, missingModulesFailWithModNotFoundAndTheProgramHasAnInstance)
{
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("absent.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    win32::removeModule("test.dll");
    EXPECT_EQ(LoadLibraryA("Test.dll"), nullptr);
}

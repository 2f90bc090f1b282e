// Windows paths as T-SQL names them map into the data directory.
#include <gtest/gtest.h>

#include "storage/WindowsPaths.h"

namespace standin::engine {
namespace {

struct PathCase {
  const char* windows;
  const char* mapped;  // nullptr: refused
};

void PrintTo(const PathCase& row, std::ostream* out) {
  *out << row.windows;
}

class WindowsPath : public testing::TestWithParam<PathCase> {};

TEST_P(WindowsPath, MapsIntoTheDataDirectory) {
  const PathCase& row = GetParam();
  if (!row.mapped) {
    EXPECT_THROW(MapWindowsPath("/data", row.windows), std::invalid_argument);
    return;
  }
  EXPECT_EQ(MapWindowsPath("/data", row.windows).string(), row.mapped);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WindowsPath,
    testing::Values(PathCase{"C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\master.mdf",
                             "/data/C/Program Files/Microsoft SQL Server/MSSQL/Data/master.mdf"},
                    PathCase{"d:\\Archive\\x_log.LDF", "/data/D/Archive/x_log.LDF"},
                    PathCase{"E:/mixed\\separators//x.mdf", "/data/E/mixed/separators/x.mdf"},
                    // Nothing may climb out of the data directory.
                    PathCase{"C:\\..\\..\\etc\\passwd", "/data/C/etc/passwd"},
                    PathCase{"C:\\a\\.\\b.mdf", "/data/C/a/b.mdf"},
                    // ".." goes up one folder, as on Windows, but stops at the drive root.
                    PathCase{"C:\\a\\b\\..\\c.mdf", "/data/C/a/c.mdf"},
                    PathCase{"C:\\a\\..\\..\\..\\b\\..\\..\\x", "/data/C/x"},
                    PathCase{"C:..\\x", "/data/C/x"}, PathCase{"\\\\server\\share\\x.mdf", nullptr},
                    PathCase{"relative\\x.mdf", nullptr}, PathCase{"", nullptr},
                    PathCase{"1:\\x", nullptr}));

TEST(WindowsPath, DeviceNamesAreNotFiles) {
  for (const char* name : {"CON", "nul", "com1.txt", "LPT9", "aux.mdf", "PRN "})
    EXPECT_TRUE(IsDeviceName(name)) << name;
  for (const char* name : {"CONSOLE", "com0", "lpt", "x.mdf", "nul2"})
    EXPECT_FALSE(IsDeviceName(name)) << name;
}

}  // namespace
}  // namespace standin::engine

#include "store/MacroFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TTmpOneMacroComand Step(std::string cmd, std::string p1 = "", bool active = true, std::string desc = "") {
  TTmpOneMacroComand s;
  s.Command = std::move(cmd);
  s.P1 = std::move(p1);
  s.P2 = "p2";
  s.Description = std::move(desc);
  s.Active = active;
  return s;
}

struct Recorder {
  int selected = -1;
  int shownCount = -1, shownSelect = -1;
  std::string title = "old title";
  std::vector<std::string> errors;
  FolderMacro::View View() {
    return {[this] { return selected; }, [this] { shownCount = 0; },
            [this](std::int32_t n, int sel) {
              shownCount = n;
              shownSelect = sel;
            },
            [this](const std::string& t) { title = t; }, [this](const std::string& e) { errors.push_back(e); }};
  }
};

TEST(MacroFileFormat, WritesCountThenSevenLinesPerStepWithCrLf) {
  TempDir dir;
  FolderMacro macro;
  macro.Table().steps[0] = Step("GetStart", "http://x/", true, Cp("Шаг\tодин\x01"));
  macro.Table().steps[1] = Step("SaveNews", "", false);
  macro.Table().count = 2;
  std::string folder = dir / "Site/";
  ASSERT_TRUE(macro.WriteFolderMacroFile(folder));  // creates the directory
  EXPECT_EQ(ReadFile(folder + "Skimlet-macros.ini"),
            "2\r\nGetStart\r\nON\r\nhttp://x/\r\np2\r\n\r\n\r\n" + Cp("Шаг один ") +
                "\r\nSaveNews\r\nOFF\r\n\r\np2\r\n\r\n\r\n\r\n");
  EXPECT_TRUE(IsFileReadOnly(folder + "Skimlet-macros.ini"));
  // A read-only file from the last save is rewritten without error.
  macro.Table().count = 0;
  ASSERT_TRUE(macro.WriteFolderMacroFile(folder));
  EXPECT_EQ(ReadFile(folder + "Skimlet-macros.ini"), "0\r\n");
}

TEST(MacroFileFormat, ReadsTheActiveMarkExactly) {
  TempDir dir;
  WriteFile(dir / "Skimlet-macros.ini", "3\r\nA\r\non\r\n\r\n\r\n\r\n\r\nd\r\nB\r\nON\r\n\r\n\r\n\r\n\r\nd\r\nC\r\n\r\n");
  MacroTable t;
  MacroReadResult r = ReadMacroFile(dir / "Skimlet-macros.ini", t);
  EXPECT_TRUE(r.error.empty());
  ASSERT_EQ(t.count, 3);
  EXPECT_FALSE(t.steps[0].Active);
  EXPECT_TRUE(t.steps[1].Active);
  EXPECT_EQ(t.steps[2].Command, "C");
  EXPECT_FALSE(t.steps[2].Active);
  // Saving the "on" step writes OFF.
  FolderMacro m;
  m.Table() = t;
  ASSERT_TRUE(m.WriteFolderMacroFile(dir.path()));
  EXPECT_NE(ReadFile(dir / "Skimlet-macros.ini").find("A\r\nOFF\r\n"), std::string::npos);
}

TEST(MacroFileFormat, ShortFileGivesEmptyInactiveSteps) {
  TempDir dir;
  WriteFile(dir / "Skimlet-macros.ini", "  \r\n 3 trailing words\r\nA\r\nON\r\n1\r\n2\r\n3\r\n4\r\nd\r\nB\nON\n\n\n\n\nd2");
  MacroTable t;
  ReadMacroFile(dir / "Skimlet-macros.ini", t);
  ASSERT_EQ(t.count, 3);
  EXPECT_EQ(t.steps[0].P4, "4");
  EXPECT_EQ(t.steps[1].Description, "d2");  // LF-only lines read too
  EXPECT_EQ(t.steps[2], TTmpOneMacroComand{});
}

TEST(MacroFileFormat, DamagedCountsNeverIndexOutsideTheTable) {
  TempDir dir;
  MacroTable t;
  WriteFile(dir / "a.ini", "abc\r\nX\r\n");
  MacroReadResult r = ReadMacroFile(dir / "a.ini", t);
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(r.error, "Файл " + (dir / "a.ini") + " повреждён: в первой строке нет числа шагов. Шаги не загружены.");

  WriteFile(dir / "b.ini", "-4\r\nX\r\n");
  r = ReadMacroFile(dir / "b.ini", t);
  EXPECT_EQ(t.count, 0);
  EXPECT_FALSE(r.error.empty());

  std::string big = "5000\r\n";
  for (int i = 0; i < 1005; ++i) {
    big += 'S';
    big += std::to_string(i);
    big += "\r\nON\r\n\r\n\r\n\r\n\r\n\r\n";
  }
  WriteFile(dir / "c.ini", big);
  r = ReadMacroFile(dir / "c.ini", t);
  EXPECT_EQ(t.count, 1001);
  EXPECT_EQ(t.steps[1000].Command, "S1000");
  EXPECT_EQ(r.error, "В файле " + (dir / "c.ini") + " объявлено шагов: 5000; загружены только первые 1001.");

  WriteFile(dir / "d.ini", "99999999999999999999\r\n");
  r = ReadMacroFile(dir / "d.ini", t);
  EXPECT_EQ(t.count, 0);
  EXPECT_FALSE(r.error.empty());

  WriteFile(dir / "e.ini", " \r\n\r\n");  // blanks only: empty, no message
  r = ReadMacroFile(dir / "e.ini", t);
  EXPECT_EQ(t.count, 0);
  EXPECT_TRUE(r.error.empty());
}

TEST(ReadMacroStep, ReadsOneStepAfreshAndEmptyOutsideTheMacro) {
  TempDir dir;
  FolderMacro m;
  for (int i = 0; i < 5; ++i) m.Table().steps[i] = Step("C" + std::to_string(i), "p" + std::to_string(i));
  m.Table().count = 5;
  ASSERT_TRUE(m.WriteFolderMacroFile(dir.path()));
  EXPECT_EQ(ReadMacroStep(dir.path(), 4).Command, "C4");
  EXPECT_EQ(ReadMacroStep(dir.path(), 0).P1, "p0");
  EXPECT_EQ(ReadMacroStep(dir.path(), 5), TTmpOneMacroComand{});
  EXPECT_EQ(ReadMacroStep(dir.path(), -1), TTmpOneMacroComand{});
  EXPECT_EQ(ReadMacroStep(dir.path(), 9999), TTmpOneMacroComand{});
  EXPECT_EQ(ReadMacroStep(dir / "missing/", 0), TTmpOneMacroComand{});
  // A save takes effect at the next read.
  m.Table().steps[2].Command = "Changed";
  ASSERT_TRUE(m.WriteFolderMacroFile(dir.path()));
  EXPECT_EQ(ReadMacroStep(dir.path(), 2).Command, "Changed");
}

TEST(FolderMacroLoad, KeepsTheSelectedLineWhenItExistsAndSetsTheTitle) {
  TempDir dir;
  FolderMacro m;
  Recorder rec;
  m.SetView(rec.View());
  for (int i = 0; i < 4; ++i) m.Table().steps[i] = Step("C");
  m.Table().count = 4;
  ASSERT_TRUE(m.WriteFolderMacroFile(dir / "A/"));
  m.Table().count = 2;
  ASSERT_TRUE(m.WriteFolderMacroFile(dir / "B/"));

  rec.selected = 3;
  m.LoadFolderMacro(dir / "A/");
  EXPECT_EQ(rec.shownCount, 4);
  EXPECT_EQ(rec.shownSelect, 3);
  EXPECT_EQ(rec.title, dir / "A/");
  EXPECT_FALSE(m.MacroModified());

  m.LoadFolderMacro(dir / "B/");
  EXPECT_EQ(rec.shownSelect, 0);

  rec.title = "kept";
  m.LoadFolderMacro(dir / "none/");
  EXPECT_EQ(m.Table().count, 0);
  EXPECT_EQ(rec.title, "kept");  // no file: the title stays

  WriteFile(dir / "Z/Skimlet-macros.ini", "0\r\n");
  m.LoadFolderMacro(dir / "Z/");
  EXPECT_EQ(rec.title, dir / "Z/");  // an empty macro still sets it

  WriteFile(dir / "Q/Skimlet-macros.ini", "x\r\n");
  rec.title = "kept";
  m.LoadFolderMacro(dir / "Q/");
  EXPECT_EQ(rec.errors.size(), 1u);
  EXPECT_EQ(rec.title, "kept");
}

TEST(FolderMacroSave, AsksWithTheFolderNameAndWritesOnlyChanges) {
  TempDir dir;
  FolderMacro m;
  std::string folder = dir / "R/";
  m.Table().steps[0] = Step("GetStart");
  m.Table().count = 1;
  ASSERT_TRUE(m.WriteFolderMacroFile(folder));
  m.LoadFolderMacro(folder);

  int asked = 0;
  auto no = [&](const std::string&, const std::string&) {
    ++asked;
    return false;
  };
  // Unchanged: nothing asked, nothing written.
  struct stat before {};
  stat((folder + "Skimlet-macros.ini").c_str(), &before);
  EXPECT_TRUE(m.SaveFolderMacro(folder, "R", no));
  EXPECT_EQ(asked, 0);
  struct stat after {};
  stat((folder + "Skimlet-macros.ini").c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not rewritten

  m.Table().steps[0].P1 = "changed";
  EXPECT_TRUE(m.MacroModified());
  std::string caption, text;
  m.SaveFolderMacro(folder, Cp("Новости"), [&](const std::string& c, const std::string& t) {
    caption = c;
    text = t;
    return false;
  });
  EXPECT_EQ(caption, Cp("Папка \"Новости\""));
  EXPECT_EQ(text, Cp("В настройки папки \"Новости\" были внесены изменения.\rДанные о настройке хранятся в файле "
                     "\"Новости\\Skimlet-macros.ini\"\r\rСохранить сделанные изменения в этом файле?"));
  EXPECT_EQ(ReadMacroStep(folder, 0).P1, "");  // No: not written, still modified
  EXPECT_TRUE(m.MacroModified());

  EXPECT_TRUE(m.SaveFolderMacro(folder, "R", [](auto&&, auto&&) { return true; }));
  EXPECT_EQ(ReadMacroStep(folder, 0).P1, "changed");
  EXPECT_TRUE(m.MacroModified());  // the snapshot changes only on load
}

TEST(FolderMacroSave, ReportsAFolderThatCannotBeCreated) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  FolderMacro m;
  m.Table().count = 1;
  m.Table().steps[0] = Step("X");
  std::string error;
  EXPECT_FALSE(m.SaveFolderMacro(dir / "file/sub/", "sub", nullptr, &error));
  EXPECT_EQ(error.rfind("Не удалось создать папку " + (dir / "file") + " (", 0), 0u) << error;
  EXPECT_TRUE(m.MacroModified());
}

TEST(FolderMacroSave, ConcurrentReadersSeeWholeFiles) {
  TempDir dir;
  FolderMacro m;
  for (int i = 0; i < 50; ++i) m.Table().steps[i] = Step("Step", std::to_string(i));
  m.Table().count = 50;
  ASSERT_TRUE(m.WriteFolderMacroFile(dir.path()));
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!stop) {
      TTmpOneMacroComand s = ReadMacroStep(dir.path(), 49);
      if (s.Command != "Step" || s.P1 != "49") ++bad;
    }
  });
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(m.WriteFolderMacroFile(dir.path()));
  stop = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace skimlet

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "authoring/ChannelFile.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kHead = "Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting\r\n";
// One step as it stands in a macro file and in a block.
const std::string kGetStart =
    "GetStart\r\nON\r\nhttp://127.0.0.1/\r\n</html>\r\n-1\r\n\r\n" + Cp("Старт") + "\r\n";
const std::string kSave = "SaveNews\r\nOFF\r\n\r\n\r\n\r\n\r\n\r\n";

// Every entry below a directory, relative to it, sorted: what a test compares before/after.
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::end(it); it.increment(ec))
    out.push_back(std::filesystem::relative(it->path(), dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

// A data directory inside a sandbox, so that anything written beside it shows up.
struct Data {
  TempDir sandbox;
  std::string home = sandbox / "home/";
  ChannelTree tree{home};
  Data() { MakeDirs(home + "Accounts"); }
  std::string Folder(const std::string& rel) { return home + "Accounts/" + rel + "/"; }
  std::string Macro(const std::string& rel) { return ReadFile(Folder(rel) + kMacroFileName); }
  void SetMacro(const std::string& rel, const std::string& bytes) {
    MakeDirs(Folder(rel));
    WriteFile(Folder(rel) + kMacroFileName, bytes);
  }
  void Build() {
    tree.Clear();
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  }
  NodePtr Find(const std::string& caption) {
    for (const NodePtr& n : tree.InTreeOrder())
      if (tree.Caption(n) == caption) return n;
    return nullptr;
  }
  ChannelImportResult Import(const std::string& text, bool answer = true, std::string* asked = nullptr) {
    Build();
    return ImportChannelText(tree, text, [&](const std::string& q) {
      if (asked) *asked = q;
      return answer;
    });
  }
};

// Channel "Сайт" with rubrics "Новости" (one step) and "Пусто" (a file with no steps).
std::string SiteFile() {
  return kHead + Cp("Сайт") + "\r\n1\r\n" + kGetStart + Cp("Новости") + "\r\n2\r\n" + kGetStart + kSave +
         Cp("Пусто") + "\r\n0\r\n";
}

TEST(ChannelExport, WritesTheChannelThenItsRubricsInTreeOrder) {
  Data d;
  d.SetMacro("Сайт", "1\r\n" + kGetStart);
  d.SetMacro("Сайт/Новости", "2\r\n" + kGetStart + kSave);
  MakeDirs(d.Folder("Сайт/Пусто"));  // no macro file at all
  d.SetMacro("Другой", "1\r\n" + kSave);
  d.Build();
  std::string file = d.sandbox / "out.skc";
  ChannelExportResult r = ExportChannel(d.tree, d.Find(Cp("Пусто")), file, nullptr);
  ASSERT_EQ(r.status, ChannelExportResult::Status::kWritten) << r.error;
  EXPECT_EQ(r.folders, 3);
  EXPECT_EQ(ReadFile(file), SiteFile());
  EXPECT_TRUE(r.warnings.empty());
}

TEST(ChannelExport, AskBeforeReplacingAFileAndWriteAtomically) {
  Data d;
  d.SetMacro("Site", "0\r\n");
  d.Build();
  std::string file = d.sandbox / "dir/Channel Site.skc";
  WriteFile(file, "old");
  std::string asked;
  auto ask = [&](bool answer) {
    return [&asked, answer](const std::string& q) {
      asked = q;
      return answer;
    };
  };
  EXPECT_EQ(ExportChannel(d.tree, d.Find("Site"), file, ask(false)).status,
            ChannelExportResult::Status::kDeclined);
  EXPECT_EQ(asked, Cp("Файл ") + file + Cp(" существует. Перезаписать?"));
  EXPECT_EQ(ReadFile(file), "old");
  EXPECT_EQ(ExportChannel(d.tree, d.Find("Site"), file, nullptr).status,
            ChannelExportResult::Status::kDeclined)
      << "no question to ask means No";
  EXPECT_EQ(ExportChannel(d.tree, d.Find("Site"), file, ask(true)).status,
            ChannelExportResult::Status::kWritten);
  EXPECT_EQ(ReadFile(file), kHead + "Site\r\n0\r\n");
  EXPECT_EQ(Listing(d.sandbox / "dir"), (std::vector<std::string>{"Channel Site.skc"}))
      << "no temporary left";

  ChannelExportResult bad = ExportChannel(d.tree, d.Find("Site"), d.sandbox / "missing/x.skc", nullptr);
  EXPECT_EQ(bad.status, ChannelExportResult::Status::kFailed);
  EXPECT_NE(bad.error.find("missing"), std::string::npos);
  EXPECT_EQ(ExportChannel(d.tree, nullptr, file, ask(true)).status, ChannelExportResult::Status::kNoFolder);
}

TEST(ChannelExport, DamagedMacrosWarnAndUnreadableNamesFail) {
  Data d;
  d.SetMacro("Site", "many\r\n");
  d.Build();
  std::string file = d.sandbox / "a.skc";
  ChannelExportResult r = ExportChannel(d.tree, d.Find("Site"), file, nullptr);
  EXPECT_EQ(r.status, ChannelExportResult::Status::kWritten);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("повреждён: в первой строке нет числа шагов. Шаги не загружены. "
                               "В файл канала записано шагов: 0."),
            std::string::npos)
      << r.warnings[0];

  // A rubric whose caption holds a backslash would import as something else (or not at all).
  MakeDirs(d.Folder("Site/a\\b"));
  d.Build();
  r = ExportChannel(d.tree, d.Find("Site"), d.sandbox / "b.skc", nullptr);
  EXPECT_EQ(r.status, ChannelExportResult::Status::kFailed);
  EXPECT_NE(r.error.find("a\\b"), std::string::npos);
  EXPECT_FALSE(FileExists(d.sandbox / "b.skc"));
}

TEST(ChannelImport, CreatesMissingFoldersWritesEveryBlockAndChecksThem) {
  Data d;
  ChannelImportResult r = d.Import(SiteFile(), false);
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Сайт"), "1\r\n" + kGetStart);
  EXPECT_EQ(d.Macro("Сайт/Новости"), "2\r\n" + kGetStart + kSave);
  EXPECT_EQ(d.Macro("Сайт/Пусто"), "0\r\n");
  EXPECT_EQ(r.written, (std::vector<std::string>{Cp("Сайт"), Cp("Новости"), Cp("Пусто")}));
  EXPECT_EQ(r.created, r.written);
  for (const char* rel : {"Сайт", "Сайт/Новости", "Сайт/Пусто"}) {
    EXPECT_TRUE(ReadFolderAttributes(d.Folder(rel)) & kAttrReadOnly) << rel;
    EXPECT_TRUE(IsFileReadOnly(d.Folder(rel) + kMacroFileName)) << rel;
  }
  EXPECT_EQ(d.tree.Caption(r.channel), Cp("Сайт"));
  EXPECT_EQ(d.tree.Children(r.channel).size(), 2u);
  EXPECT_TRUE(d.tree.IsChecked(d.tree.Children(r.channel)[1]));
}

TEST(ChannelImport, AnExistingChannelIsOverwrittenOnlyAfterYes) {
  Data d;
  d.SetMacro("Сайт", "1\r\n" + kSave);
  d.SetMacro("Сайт/Новости", "0\r\n");
  d.SetMacro("Сайт/Архив", "1\r\n" + kSave);
  std::string asked;
  ChannelImportResult no = d.Import(SiteFile(), false, &asked);
  EXPECT_EQ(no.status, ChannelImportResult::Status::kDeclined);
  EXPECT_EQ(asked, Cp("Канал Сайт существует. Перезаписать настройки канала?"));
  EXPECT_EQ(d.Macro("Сайт"), "1\r\n" + kSave);
  EXPECT_FALSE(DirExists(d.Folder("Сайт/Пусто")));
  EXPECT_EQ(ReadFolderAttributes(d.Folder("Сайт")), 0u);

  ChannelImportResult yes = d.Import(SiteFile(), true);
  ASSERT_EQ(yes.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Сайт"), "1\r\n" + kGetStart);
  EXPECT_EQ(d.Macro("Сайт/Новости"), "2\r\n" + kGetStart + kSave);
  EXPECT_EQ(d.Macro("Сайт/Пусто"), "0\r\n");
  EXPECT_EQ(d.Macro("Сайт/Архив"), "1\r\n" + kSave) << "rubrics the file does not name stay";
  EXPECT_EQ(yes.created, (std::vector<std::string>{Cp("Пусто")}));
  EXPECT_EQ(ReadFolderAttributes(d.Folder("Сайт/Архив")), 0u);
  EXPECT_TRUE(ReadFolderAttributes(d.Folder("Сайт/Новости")) & kAttrReadOnly);
}

TEST(ChannelImport, RoundTripReproducesTheFileByteForByte) {
  Data d;
  ASSERT_EQ(d.Import(SiteFile()).status, ChannelImportResult::Status::kImported);
  d.Build();
  std::string file = d.sandbox / "again.skc";
  ASSERT_EQ(ExportChannel(d.tree, d.Find(Cp("Сайт")), file, nullptr).status,
            ChannelExportResult::Status::kWritten);
  EXPECT_EQ(ReadFile(file), SiteFile());
  ChannelFileContent parsed = ParseChannelFile(SiteFile());
  EXPECT_EQ(FormatChannelFile(parsed.blocks), SiteFile());
}

TEST(ChannelImport, LinesBeforeTheHeaderAreIgnoredAndNoHeaderImportsNothing) {
  Data d;
  std::string file = "anything\r\nat all\r\n" + SiteFile().substr(kHead.size() - 32);
  EXPECT_EQ(d.Import(file).status, ChannelImportResult::Status::kImported);

  Data e;
  EXPECT_EQ(
      e.Import("Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting \r\nSite\r\n0\r\n")
          .status,
      ChannelImportResult::Status::kNoHeader);
  EXPECT_EQ(e.Import("").status, ChannelImportResult::Status::kNoHeader);
  EXPECT_TRUE(Listing(e.home + "Accounts").empty());
  ChannelImportResult bare = e.Import(kHead + "\r\n\r\n");
  EXPECT_EQ(bare.status, ChannelImportResult::Status::kRefused);
  EXPECT_TRUE(Listing(e.home + "Accounts").empty());
}

TEST(ChannelImport, TheFirstOfTwoChannelsWithOneCaptionIsTheTarget) {
  Data d;
  // Two names that are not UTF-8 both read as the caption "?".
  d.SetMacro("\xfe", "0\r\n");
  d.SetMacro("\xff", "0\r\n");
  d.Build();
  ASSERT_EQ(d.tree.Channels().size(), 2u);
  std::string first = d.tree.FolderPath(d.tree.Channels()[0]);
  std::string second = d.tree.FolderPath(d.tree.Channels()[1]);
  ASSERT_EQ(d.Import(kHead + "?\r\n1\r\n" + kSave).status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(ReadFile(first + kMacroFileName), "1\r\n" + kSave);
  EXPECT_EQ(ReadFile(second + kMacroFileName), "0\r\n");
}

TEST(ChannelImport, BlankAndExtraLinesAfterTheLastBlockMakeNoFolder) {
  Data d;
  ChannelImportResult r = d.Import(kHead + "Site\r\n0\r\n\r\n   \r\n\t\r\n");
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(r.written, (std::vector<std::string>{"Site"}));
  EXPECT_EQ(d.Macro("Site"), "0\r\n") << "no nameless block overwrote the channel's own file";

  r = d.Import(kHead + "Site\r\n0\r\n\r\nLeftover\r\n\r\n");
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_FALSE(DirExists(d.Folder("Site/Leftover")));
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("после имени папки «Leftover» нет числа шагов"), std::string::npos);

  // Blank lines between blocks are passed over as well.
  r = d.Import(kHead + "Site\r\n\r\n0\r\n\r\nR\r\n1\r\n" + kSave);
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Site/R"), "1\r\n" + kSave);
}

TEST(ChannelImport, StepsReadLikeMacroFilesAndShortOrRepeatedBlocksWarn) {
  Data d;
  ChannelImportResult r = d.Import(kHead + "Site\r\n2\r\nGetStart\r\non\r\nP1");
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Site"), "2\r\nGetStart\r\nOFF\r\nP1\r\n\r\n\r\n\r\n\r\n\r\nOFF\r\n\r\n\r\n\r\n\r\n\r\n");
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("объявлено шагов: 2, но файл кончается на шаге 0"), std::string::npos);

  // LF alone ends lines too; a count may carry text after it; a tab in a description is a blank.
  r = d.Import(kHead + "Site\n1 step\nSaveNews\nON\n\n\n\n\na\tb\n");
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Site"), "1\r\nSaveNews\r\nON\r\n\r\n\r\n\r\n\r\na b\r\n");

  // A rubric named twice: the later block wins, with a warning.
  r = d.Import(kHead + "Site\r\n0\r\nR\r\n1\r\n" + kGetStart + "R\r\n1\r\n" + kSave);
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Site/R"), "1\r\n" + kSave);
  EXPECT_EQ(r.created, (std::vector<std::string>{"R"}));
  EXPECT_EQ(r.warnings.size(), 1u);
}

struct Hostile {
  const char* what;
  std::string text;
  const char* message;
};

TEST(ChannelImportHostile, UnsafeNamesAndBadCountsWriteNothingAnywhere) {
  const std::vector<Hostile> cases = {
      {"parent", kHead + "..\r\n0\r\n", "«..»"},
      {"dot", kHead + ".\r\n0\r\n", "«.»"},
      {"traversal", kHead + "../../evil\r\n1\r\n" + kSave, "«/»"},
      {"absolute", kHead + "/tmp/evil\r\n0\r\n", "«/»"},
      {"backslash", kHead + "..\\evil\r\n0\r\n", "«\\»"},
      {"rubric traversal", kHead + "Site\r\n0\r\n../../../evil\r\n0\r\n", "строка 6:"},
      {"rubric parent", kHead + "Site\r\n0\r\nOk\r\n0\r\n..\r\n1\r\n" + kSave, "строка 8:"},
      {"hidden", kHead + "Site\r\n0\r\n.config\r\n0\r\n", "скрыты"},
      {"attachment", kHead + "Site\r\n0\r\nAttachment\r\n0\r\n", "Attachment"},
      {"macro file name", kHead + "Site\r\n0\r\nSkimlet-macros.ini\r\n0\r\n", "файл шагов"},
      {"control", kHead + std::string("a\x01z\r\n0\r\n"), "управляющие"},
      {"too long", kHead + std::string(300, 'n') + "\r\n0\r\n", "255"},
      {"count too large", kHead + "Site\r\n1002\r\n", "1001"},
      {"huge count", kHead + "Site\r\n0\r\nR\r\n99999999999999999999999\r\n", "не больше 1001"},
      {"negative count", kHead + "Site\r\n-3\r\n", "-3"},
      {"count not a number", kHead + "Site\r\nthree\r\n" + kSave, "это не число"},
      {"no channel", kHead + "\r\n", "нет ни одного канала"},
      {"junk", kHead + std::string("\x00\xff\x01\r\n\x80\x81\r\n", 9) + std::string(64, '\x07'), "строка 4:"},
  };
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    Data d;
    MakeDirs(d.Folder("Site"));
    std::vector<std::string> before = Listing(d.sandbox.path());
    bool asked = false;
    d.Build();
    ChannelImportResult r =
        ImportChannelText(d.tree, c.text, [&](const std::string&) { return asked = true; });
    EXPECT_EQ(r.status, ChannelImportResult::Status::kRefused);
    EXPECT_FALSE(asked) << "a refused file asks nothing";
    ASSERT_FALSE(r.errors.empty());
    bool named = false;
    for (const std::string& e : r.errors) named = named || e.find(c.message) != std::string::npos;
    EXPECT_TRUE(named) << r.errors.front();
    EXPECT_EQ(Listing(d.sandbox.path()), before);
  }
}

TEST(ChannelImportHostile, AFileWhereAFolderMustGoIsRefusedBeforeAnythingIsWritten) {
  Data d;
  d.SetMacro("Site", "0\r\n");
  WriteFile(d.Folder("Site") + "news.html", "x");
  WriteFile(d.home + "Accounts/Plain", "x");
  std::vector<std::string> before = Listing(d.sandbox.path());
  ChannelImportResult r = d.Import(kHead + "Site\r\n1\r\n" + kSave + "news.html\r\n0\r\n");
  EXPECT_EQ(r.status, ChannelImportResult::Status::kRefused);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_NE(r.errors[0].find("строка 13: папку «news.html» нельзя создать: на её месте файл "), std::string::npos)
      << r.errors[0];
  r = d.Import(kHead + "Plain\r\n0\r\n");
  EXPECT_EQ(r.status, ChannelImportResult::Status::kRefused);
  EXPECT_EQ(Listing(d.sandbox.path()), before);
  EXPECT_EQ(d.Macro("Site"), "0\r\n");
}

TEST(ChannelImportHostile, AManyStepFileStopsAtTheFolderLimit) {
  std::string text = kHead + "Site\r\n1001\r\n";
  for (int i = 0; i < 1001; ++i) text += kSave;
  Data d;
  ChannelImportResult r = d.Import(text + "R\r\n0\r\n");
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  EXPECT_EQ(d.Macro("Site").substr(0, 6), "1001\r\n");
  EXPECT_EQ(r.written.size(), 2u);
}

// A proposed macro's folder: a channel, a rubric of one, or a rubric with its new channel; a
// refusal says what to do instead and writes nothing.
TEST(NewMacroFolder, AChannelComesWithItsFirstRubricAndARefusalSaysWhatToDo) {
  Data d;
  WriteFile(d.home + "Accounts/Plain", "x");
  const std::vector<TTmpOneMacroComand> steps = {test::MacroStep("GetStart", "http://127.0.0.1/")};
  const struct {
    const char *channel, *rubric;
    const char* said;  // what was made, or the start of the refusal
  } cases[] = {
      {"Вести", "", "Создан канал «Вести»"},
      {"Вести", "Спорт", "Создана рубрика «Спорт» в канале «Вести»"},
      {"Новый", "Главное", "Создан канал «Новый» и рубрика «Главное»"},
      {"Вести", "", "канал «Вести» уже есть; выберите другое имя или назовите рубрику, которую добавить в него"},
      {"Вести", "Спорт", "рубрика «Спорт» в канале «Вести» уже есть; выберите другое имя"},
      {".Скрытый", "Главное", "нельзя назвать канал «.Скрытый»: имя начинается с точки"},
      {"Вести", "a/b", "нельзя назвать рубрику «a/b»: в имени есть «/» или «\\»; выберите другое имя"},
      {"Plain", "Главное", "на месте канала «Plain» уже есть файл или папка вне дерева каналов"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.channel) + "/" + c.rubric);
    d.Build();
    const std::vector<std::string> before = Listing(d.sandbox.path());
    const MadeMacroFolder made = CreateMacroFolder(d.tree, Cp(c.channel), Cp(c.rubric), steps);
    if (made.path.empty()) {
      EXPECT_EQ(made.error.rfind(c.said, 0), 0u) << made.error;
      EXPECT_EQ(Listing(d.sandbox.path()), before);
      continue;
    }
    EXPECT_EQ(made.said, c.said);
    EXPECT_EQ(made.path, d.Folder(*c.rubric ? std::string(c.channel) + "/" + c.rubric : c.channel));
    ASSERT_NE(made.node, nullptr);
    EXPECT_EQ(d.tree.FolderPath(made.node), made.path);
    EXPECT_TRUE(d.tree.IsChecked(made.node));
  }
  // The channel made for its rubric: an empty macro, marked for download, in the tree too.
  EXPECT_EQ(d.Macro("Новый"), "0\r\n");
  EXPECT_EQ(d.Macro("Новый/Главное"), d.Macro("Вести"));
  EXPECT_EQ(d.tree.Outline(), Cp("Вести\r\n\tСпорт\r\nНовый\r\n\tГлавное\r\n"));
  EXPECT_TRUE(d.tree.IsChecked(d.Find(Cp("Новый"))));
  d.Build();
  EXPECT_EQ(d.tree.Outline(), Cp("Вести\r\n\tСпорт\r\nНовый\r\n\tГлавное\r\n")) << "as read from the disk";
  EXPECT_TRUE(d.tree.IsChecked(d.Find(Cp("Новый"))));
}

// When the rubric cannot be written, the channel made for it goes too. A data directory deep
// enough that the rubric's path, or its macro file's, passes the system's limit of 4096 bytes.
TEST(NewMacroFolder, NothingIsLeftHalfMadeWhenTheRubricCannotBeWritten) {
  const std::vector<TTmpOneMacroComand> steps = {test::MacroStep("GetStart", "http://127.0.0.1/")};
  for (std::size_t rubricLength : {200u, 175u}) {  // the folder fails; the folder is made, its macro fails
    SCOPED_TRACE(rubricLength);
    TempDir sandbox;
    std::string home = sandbox.path();
    while (home.size() < 3800) home += std::string(100, 'd') + "/";
    home += std::string(3900 - home.size() - 1, 'e') + "/";
    ASSERT_TRUE(MakeDirs(home + "Accounts"));
    ChannelTree tree(home);
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    const std::vector<std::string> before = Listing(sandbox.path());
    const MadeMacroFolder made = CreateMacroFolder(tree, "Chan", std::string(rubricLength, 'r'), steps);
    EXPECT_EQ(made.path, "");
    EXPECT_NE(made.error.find(std::generic_category().message(ENAMETOOLONG)), std::string::npos) << made.error;
    EXPECT_EQ(Listing(sandbox.path()), before);
    EXPECT_TRUE(tree.InTreeOrder().empty());
  }
}

TEST(DemoChannelFile, IsTheExportOfTheExampleSetUpAndImportsIt) {
  TempDir none;
  std::string examples = ResourceDir(none.path()) + "../examples/";
  if (!FileExists(examples + "demo.skc")) GTEST_SKIP() << "not run from a source tree";
  ChannelTree source(examples + "channel/");
  source.BuildChannelTree(source.AccountsDir(), nullptr, false);
  ASSERT_FALSE(source.Channels().empty());
  Data d;
  std::string file = d.sandbox / "demo.skc";
  ASSERT_EQ(ExportChannel(source, source.Channels()[0], file, nullptr).status,
            ChannelExportResult::Status::kWritten);
  EXPECT_EQ(ReadFile(file), ReadFile(examples + "demo.skc"))
      << "examples/demo.skc is out of date: skimlet-cli --home examples/channel export Демо-новости "
         "examples/demo.skc --yes";
  ChannelImportResult r = d.Import(ReadFile(examples + "demo.skc"));
  ASSERT_EQ(r.status, ChannelImportResult::Status::kImported);
  for (const NodePtr& node : source.InTreeOrder()) {
    std::string rel = source.FolderPath(node).substr(source.AccountsDir().size());
    EXPECT_EQ(ReadFile(d.home + "Accounts/" + rel + kMacroFileName),
              ReadFile(source.FolderPath(node) + kMacroFileName))
        << rel;
  }
}

}  // namespace
}  // namespace skimlet

// The preference hub and its dialogs driven as a user would: OK stores,
// Cancel returns -10 and leaves the whole record as it was, Restore Defaults
// gives the defaults, the file is written when a dialog shown before an
// operation is confirmed, and each dialog's own rules (custom settings,
// profile policies, the save naming field, the quality bar, the folder).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <map>

#include "colormgmt/workspace.h"
#include "colormgmt/wsprofiles.h"
#include "correct/customsettings.h"
#include "dialogs_test_support.h"
#include "base/uistate.h"
#include "ui/useritem.h"

namespace {

using PrefsFn = std::function<void(Prefs&)>;
using CheckFn = std::function<void(const Prefs&)>;
using UserFn = std::function<void(QWidget*)>;

struct DialogCase {
  const char* name;
  std::function<Status()> open;
  PrefsFn scramble;  // values other than the defaults, set before the dialog opens
  UserFn edit;       // the user's changes
  CheckFn edited;    // what OK stored
  int restoreItem;
  CheckFn restored;  // the defaults the dialog restores
};

std::vector<DialogCase> Cases() {
  return {
      {"sync_prefs", [] { return ShowSyncPrefs(nullptr); },
       [](Prefs& p) { p.syncColour = p.syncFilters = p.showSyncPrefs = 0; },
       [](QWidget* d) { Click(d, 4); },
       [](const Prefs& p) {
         EXPECT_EQ(p.syncColour, 1);
         EXPECT_EQ(p.syncFilters, 0);
         EXPECT_EQ(p.showSyncPrefs, 0);
       },
       7,
       [](const Prefs& p) {
         EXPECT_EQ(p.syncColour, 1);
         EXPECT_EQ(p.syncFilters, 1);
         EXPECT_EQ(p.showSyncPrefs, 1);
       }},
      {"user_interface_prefs", [] { return ShowUserInterfacePrefs(nullptr); },
       [](Prefs& p) {
         p.liveSliders = p.previewSharpening = p.previewNoise = p.showStartUpGuide = 0;
         p.showNeutralsSliders = p.showPixelValues = p.showCurveControl = 0;
         p.showSampledRegion = 1;
         p.interfaceFlag58 = 1;
         p.startTab = 3;
       },
       [](QWidget* d) {
         Click(d, 4);
         Click(d, 10);
         Choose(d, 16, 4);  // "Last Used Tool Tab"
       },
       [](const Prefs& p) {
         EXPECT_EQ(p.liveSliders, 1);
         EXPECT_EQ(p.showSampledRegion, 0);
         EXPECT_EQ(p.previewSharpening, 0);
         EXPECT_EQ(p.startTab, 0);  // stored as 0
         EXPECT_EQ(p.interfaceFlag58, 1);
       },
       17,
       [](const Prefs& p) {
         for (uint8_t v : {p.liveSliders, p.previewSharpening, p.previewNoise, p.showNeutralsSliders,
                           p.showCurveControl, p.showPixelValues, p.showStartUpGuide})
           EXPECT_EQ(v, 1);
         EXPECT_EQ(p.showSampledRegion, 0);
         EXPECT_EQ(p.interfaceFlag58, 0);
         EXPECT_EQ(p.startTab, 1);  // Tool Tab 1
       }},
      {"brivio_prefs", [] { return ShowBrivioPrefs(nullptr); },
       [](Prefs& p) {
         p.brivioMask = TOOL_LINEAR | TOOL_BALANCE;
         p.brivioPrefsMask = TOOL_BRIGHTNESS;
         p.brivioSaturation = 0.5f;
       },
       [](QWidget* d) {
         Click(d, 7);        // Gray Point on
         Click(d, 13);       // memory colours: Brightness off
         Choose(d, 15, 10);  // "100 (Maximum)"
       },
       [](const Prefs& p) {
         EXPECT_EQ(p.brivioMask, TOOL_LINEAR | TOOL_BALANCE | TOOL_GRAY);
         EXPECT_EQ(p.brivioPrefsMask, 0);
         EXPECT_FLOAT_EQ(p.brivioSaturation, 1.0f);
       },
       16,
       [](const Prefs& p) {
         EXPECT_EQ(p.brivioMask, 65079);
         EXPECT_EQ(p.brivioPrefsMask, 65056);
         EXPECT_FLOAT_EQ(p.brivioSaturation, 0.8f);
       }},
      {"add_image_prefs", [] { return ShowAddImagePrefs(nullptr); },
       [](Prefs& p) {
         p.colourStartWith = 0;
         p.filterStartWith = 1;
         p.showAddPrefs = 0;
         p.customPath = "/settings/mine.txt";
         p.customName = "mine.txt";
       },
       [](QWidget* d) {
         Choose(d, 4, 3);  // "Reset"
         Click(d, 8);
       },
       [](const Prefs& p) {
         EXPECT_EQ(p.colourStartWith, 2);
         EXPECT_EQ(p.filterStartWith, 1);
         EXPECT_EQ(p.showAddPrefs, 1);
         EXPECT_EQ(p.customName, "mine.txt");
       },
       9,
       [](const Prefs& p) {
         EXPECT_EQ(p.colourStartWith, 2);
         EXPECT_EQ(p.filterStartWith, 2);
         EXPECT_EQ(p.showAddPrefs, 1);
         EXPECT_EQ(p.customPath, "");
         EXPECT_EQ(p.customName, "");
       }},
      {"save_image_prefs", [] { return ShowSaveImagePrefs(nullptr); },
       [](Prefs& p) {
         p.sameFolder = 0;
         p.outputFolder = "/photos/out/";
         p.outputFormat = 9;
         p.naming = kNamingPrefix;
         p.suffix = "_a";
         p.prefix = "b_";
         p.lowerCase = p.embedProfile = p.preserveExif = p.showSavePrefs = p.removeSaved = 0;
         p.jpegQuality = 0.5f;
         p.tiffCompression = 5;
         p.saveAsFolder = "/keep/";
       },
       [](QWidget* d) {
         EXPECT_EQ(Entry(d, 18), 1);  // LZW shown
         Choose(d, 6, 3);   // TIFF
         Click(d, 12);      // Preserve JPEG EXIF Data
         Choose(d, 18, 2);  // Deflate
       },
       [](const Prefs& p) {
         EXPECT_EQ(p.tiffCompression, 8);
         EXPECT_EQ(p.outputFormat, 1);
         EXPECT_EQ(p.preserveExif, 1);
         EXPECT_EQ(p.prefix, "b_");
         EXPECT_EQ(p.outputFolder, "/photos/out/");
       },
       17,
       [](const Prefs& p) {
         EXPECT_EQ(p.sameFolder, 1);
         EXPECT_EQ(p.outputFolder, "");
         EXPECT_EQ(p.outputFormat, 0);
         EXPECT_EQ(p.naming, kNamingSuffix);
         EXPECT_EQ(p.suffix, "-zV");
         EXPECT_EQ(p.prefix, "zV-");
         for (uint8_t v : {p.useExtensions, p.lowerCase, p.embedProfile, p.preserveExif, p.showSavePrefs, p.removeSaved})
           EXPECT_EQ(v, 1);
         EXPECT_FLOAT_EQ(p.jpegQuality, 1.0f);
         EXPECT_EQ(p.tiffCompression, 1);
         EXPECT_EQ(p.saveAsFolder, "/keep/");  // not restored
       }},
      {"color_management_prefs", [] { return ShowColorManagementPrefs(nullptr); },
       [](Prefs& p) {
         p.workingSpace = 0;
         p.noProfileAction = 2;
         p.noProfilePath = "/profiles/camera.icc";
         p.embeddedAction = 2;
         p.embeddedPath = "/profiles/scanner.icc";
       },
       [](QWidget* d) {
         Choose(d, 8, 11);  // ProPhoto RGB
         Choose(d, 4, 1);   // Assign working space
       },
       [](const Prefs& p) {
         EXPECT_EQ(p.workingSpace, 11);
         EXPECT_EQ(p.noProfileAction, 1);
         EXPECT_EQ(p.embeddedAction, 2);
         EXPECT_EQ(p.embeddedPath, "/profiles/scanner.icc");
       },
       9,
       [](const Prefs& p) {
         EXPECT_EQ(p.noProfileAction, 1);
         EXPECT_EQ(p.embeddedAction, 3);
         EXPECT_EQ(p.noProfilePath, "");
         EXPECT_EQ(p.embeddedPath, "");
         EXPECT_EQ(p.workingSpace, 13);
       }},
  };
}

class PrefDialogsTest : public DialogsFixture {};

TEST_F(PrefDialogsTest, OkStoresCancelChangesNothingRestoreGivesDefaults) {
  for (const DialogCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    // Cancel after changes: -10 and the whole record as before.
    ResetPrefs(&AppPrefs());
    c.scramble(AppPrefs());
    const std::vector<uint8_t> before = Encoded(AppPrefs());
    AnswerNextModal([&](QWidget* d) {
      c.edit(d);
      Click(d, 2);
    });
    EXPECT_EQ(c.open(), kCancelled);
    EXPECT_EQ(Encoded(AppPrefs()), before);

    // OK stores the changes.
    ResetPrefs(&AppPrefs());
    c.scramble(AppPrefs());
    AnswerNextModal([&](QWidget* d) {
      c.edit(d);
      Shot(d, c.name);
      Click(d, 1);
    });
    EXPECT_EQ(c.open(), kOk);
    c.edited(AppPrefs());

    // Restore Defaults, then OK.
    ResetPrefs(&AppPrefs());
    c.scramble(AppPrefs());
    AnswerNextModal([&](QWidget* d) {
      Click(d, c.restoreItem);
      Click(d, 1);
    });
    EXPECT_EQ(c.open(), kOk);
    c.restored(AppPrefs());
  }
  EXPECT_TRUE(Alerts().empty());
}

// The entries of the preferences file, id -> first value, or empty when the file is missing.
std::map<int, int> FileEntries(UiState* state) {
  std::string path;
  PrefsFilePath(state, path);
  std::map<int, int> out;
  if (!FileExists(path)) return out;
  Ui_Prefs_ReadAll(
      state, path, kPrefsFileInfo,
      [&](UiState*, uint16_t id, const PrefsData& d) {
        out[id] = d.type == kPrefsByte ? (d.count ? d.Bytes()[0] : 0) : d.Int32(0);
        return kOk;
      },
      [](UiState*, Stream&) { return kOk; });
  return out;
}

TEST_F(PrefDialogsTest, ShownBeforeAnOperationOkWritesThePreferencesFile) {
  std::string path;
  ASSERT_EQ(PrefsFilePath(state_, path), kOk);
  struct Case {
    const char* name;
    std::function<Status(PrefsOpening)> open;
    int item;    // a check box to untick
    int entry;   // the preference it shows
  } cases[] = {
      {"sync", [](PrefsOpening o) { return ShowSyncPrefs(nullptr, o); }, 6, 114},
      {"add image", [](PrefsOpening o) { return ShowAddImagePrefs(nullptr, o); }, 8, 112},
      {"save image", [](PrefsOpening o) { return ShowSaveImagePrefs(nullptr, o); }, 15, 113},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetPrefs(&AppPrefs());
    std::remove(path.c_str());
    // From the hub nothing is written yet; Cancel writes nothing either.
    AnswerNextModal([&](QWidget* d) { Click(d, 1); });
    EXPECT_EQ(c.open(PrefsOpening::kFromHub), kOk);
    AnswerNextModal([&](QWidget* d) { Click(d, 2); });
    EXPECT_EQ(c.open(PrefsOpening::kBeforeOperation), kCancelled);
    EXPECT_FALSE(FileExists(path));
    AnswerNextModal([&](QWidget* d) {
      Click(d, c.item);
      Click(d, 1);
    });
    EXPECT_EQ(c.open(PrefsOpening::kBeforeOperation), kOk);
    const std::map<int, int> entries = FileEntries(state_);
    ASSERT_TRUE(entries.count(c.entry));
    EXPECT_EQ(entries.at(c.entry), 0);
  }
  // The file is where the preferences live: the maker folder of the configuration folder.
  EXPECT_NE(path.find("/Harvosa/TavelinMarvet Prefs"), std::string::npos) << path;
}

TEST_F(PrefDialogsTest, CustomSettingsNeedALoadedFile) {
  const std::string custom = FreshDir("custom") + "portrait.txt";
  TavelinPars pars;
  InitTavelinPars(&pars);
  pars.brightness = 0.6f;
  ASSERT_EQ(WriteCustomSettings(&pars, custom), kOk);
  const std::string broken = ScratchDir() + "custom/broken.txt";
  WriteFileText(broken, "v5\nnot a number\n");
  AppPrefs().colourStartWith = 1;
  host().files = {{broken}, {custom}};
  AnswerNextModal([&](QWidget* d) {
    Choose(d, 4, 2);  // Custom Settings, nothing loaded
    EXPECT_EQ(Entry(d, 4), 1);
    Choose(d, 5, 1);
    EXPECT_EQ(Entry(d, 5), 2);
    Click(d, 6);  // the broken file: alerted, nothing loaded
    EXPECT_EQ(TextOf(d, 7), "");
    Click(d, 6);
    EXPECT_EQ(TextOf(d, 7), "portrait.txt");
    Choose(d, 4, 2);
    Choose(d, 5, 1);
    EXPECT_EQ(Entry(d, 4), 2);
    Shot(d, "add_image_prefs_custom");
    Click(d, 1);
  });
  ASSERT_EQ(ShowAddImagePrefs(nullptr), kOk);
  const std::string must = "You must 'Load Custom Settings\u2026' before you can 'Start with Custom Settings'.";
  EXPECT_EQ(Messages(), (std::vector<std::string>{must, must}));
  ASSERT_EQ(Alerts().size(), 1u);
  EXPECT_NE(Alerts()[0].find("broken.txt"), std::string::npos) << Alerts()[0];
  const Prefs& p = AppPrefs();
  EXPECT_EQ(p.colourStartWith, 3);
  EXPECT_EQ(p.filterStartWith, 3);
  EXPECT_EQ(p.customPath, custom);
  EXPECT_EQ(p.customName, "portrait.txt");
  EXPECT_FLOAT_EQ(p.custom.brightness, 0.6f);
}

TEST_F(PrefDialogsTest, ConversionPoliciesAskForAProfile) {
  const std::string folder = FreshDir("profiles");
  std::vector<uint8_t> bytes;
  ASSERT_EQ(MakeWorkingSpaceProfile(0, bytes), kOk);
  const std::string good = folder + "camera.icc";
  WriteFileBytes(good, bytes.data(), bytes.size());
  const std::string notProfile = folder + "notes.icc";
  WriteFileText(notProfile, "not a profile");
  AppPrefs().noProfileAction = 0;  // Ask
  AppPrefs().embeddedAction = 1;
  host().files = {{}, {notProfile}, {good}};
  AnswerNextModal([&](QWidget* d) {
    Choose(d, 4, 2);  // cancelled chooser: back to Ask, no message
    EXPECT_EQ(Entry(d, 4), 0);
    Choose(d, 5, 3);  // a file that is no profile: the message, back to "Discard it and assign"
    EXPECT_EQ(Entry(d, 5), 2);
    EXPECT_EQ(TextOf(d, 7), "");
    Choose(d, 4, 2);  // a profile
    EXPECT_EQ(Entry(d, 4), 2);
    EXPECT_EQ(TextOf(d, 6), "camera.icc");
    Click(d, 1);
  });
  ASSERT_EQ(ShowColorManagementPrefs(nullptr), kOk);
  EXPECT_EQ(Messages(), std::vector<std::string>{"You must select an RGB input or monitor profile"});
  EXPECT_EQ(AppPrefs().noProfileAction, 2);
  EXPECT_EQ(AppPrefs().noProfilePath, good);
  EXPECT_EQ(AppPrefs().embeddedAction, 1);
  EXPECT_EQ(AppPrefs().embeddedPath, "");
}

TEST_F(PrefDialogsTest, SaveImageNamingFieldExtensionsAndQualityBar) {
  AppPrefs().useExtensions = 0;  // stored off: "Lower Case Extensions" is disabled
  AppPrefs().jpegQuality = 0.8f;
  AnswerNextModal([&](QWidget* d) {
    auto* field = ItemAs<QLineEdit>(d, 8);
    ASSERT_NE(field, nullptr);
    EXPECT_FALSE(ItemOf(d, 9)->isVisible());  // "Use File Extensions" hidden
    EXPECT_EQ(TextOf(d, 10), "Lower Case Extensions");
    EXPECT_FALSE(ItemOf(d, 10)->isEnabled());
    EXPECT_EQ(TextOf(d, 14), " 80 (PS: 8)");
    EXPECT_EQ(field->text(), "-zV");
    field->selectAll();
    QTest::keyClicks(field, "_a\\b/c\td");
    EXPECT_EQ(field->text(), "_abcd");
    QTest::keyClicks(field, "0123456789abcdefghij");
    EXPECT_EQ(field->text().size(), 19);
    Choose(d, 7, 1);  // Prepend Prefix: the field edits the prefix
    EXPECT_EQ(field->text(), "zV-");
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, "x");
    Choose(d, 7, 2);  // Same as original: no field
    EXPECT_FALSE(field->isVisible());
    Choose(d, 7, 1);
    EXPECT_TRUE(field->isVisible());
    // The quality bar: its left edge is 0, its right edge 100.
    auto* bar = ItemAs<UiUserItem>(d, 13);
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(0, 5));
    EXPECT_EQ(TextOf(d, 14), "  0 (PS:n/a)");
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 1, 5));
    EXPECT_EQ(TextOf(d, 14), "100 (PS:12)");
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint((bar->width() - 1) / 5, 5));
    EXPECT_EQ(TextOf(d, 14), " 20 (PS:n/a)");
    Shot(d, "save_image_prefs_quality");
    Click(d, 1);
  });
  state_->appendExtension = 1;
  ASSERT_EQ(ShowSaveImagePrefs(nullptr), kOk);
  const Prefs& p = AppPrefs();
  EXPECT_EQ(p.suffix, "_abcd0123456789abcd");
  EXPECT_EQ(p.prefix, "zV-x");
  EXPECT_EQ(p.naming, kNamingPrefix);
  EXPECT_FLOAT_EQ(p.jpegQuality, 0.2f);
  EXPECT_EQ(state_->appendExtension, 0);  // 76 and 77 go into the state
}

TEST_F(PrefDialogsTest, SaveImageFolderChoice) {
  const std::string longFolder = ScratchDir() + std::string(120, 'n') + "/Exports/";
  host().files = {{}, {longFolder}, {}};
  AnswerNextModal([&](QWidget* d) {
    Choose(d, 4, 1);  // chooser cancelled with no folder chosen before
    EXPECT_EQ(Entry(d, 4), 0);
    Choose(d, 4, 1);
    EXPECT_EQ(Entry(d, 4), 1);
    EXPECT_EQ(TextOf(d, 5), "Exports");  // only the last part fits
    Choose(d, 4, 0);
    Choose(d, 4, 1);  // cancelled again: the folder chosen before stays
    EXPECT_EQ(Entry(d, 4), 1);
    Shot(d, "save_image_prefs_folder");
    Click(d, 1);
  });
  ASSERT_EQ(ShowSaveImagePrefs(nullptr), kOk);
  EXPECT_EQ(Messages(), std::vector<std::string>{"You must choose a folder"});
  const auto folders = host().Of(ScriptedHost::Kind::Folder);
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(folders[0].text, "Choose a folder");
  EXPECT_EQ(AppPrefs().sameFolder, 0);
  EXPECT_EQ(AppPrefs().outputFolder, longFolder);
}

TEST_F(PrefDialogsTest, HubOpensTheDialogsAndReportsWhatChanged) {
  std::vector<QString> titles;
  // Each button opens its dialog; the first four are cancelled, the last two
  // turn Pixel Values off and choose another working space.
  const std::pair<int, UserFn> steps[] = {
      {4, [](QWidget* d) { Click(d, 2); }},
      {5, [](QWidget* d) { Click(d, 2); }},
      {6, [](QWidget* d) { Click(d, 2); }},
      {7, [](QWidget* d) { Click(d, 2); }},
      {8, [](QWidget* d) { Click(d, 12), Click(d, 1); }},
      {9, [](QWidget* d) { Choose(d, 8, 0), Click(d, 1); }},
  };
  AnswerNextModal([&](QWidget* hub) {
    EXPECT_EQ(hub->windowTitle().toStdString(), "Brennic Tavelin Marvet Preferences");
    Shot(hub, "preferences_hub");
    for (const auto& [button, user] : steps) {
      AnswerNextModal([&, user = user](QWidget* d) {
        titles.push_back(d->windowTitle());
        user(d);
      });
      Click(hub, button);  // returns when the dialog has closed
    }
    Click(hub, 1);
  });
  PrefsHubOutcome outcome;
  ASSERT_EQ(ShowPreferencesHub(nullptr, &outcome), kOk);
  EXPECT_EQ(titles, (std::vector<QString>{"Brivio Preferences", "Add Image Preferences", "Save Image Preferences",
                                          "Sync Preferences", "User Interface Preferences",
                                          "Color Management Preferences"}));
  EXPECT_TRUE(outcome.pixelValuesChanged);
  EXPECT_TRUE(outcome.workingSpaceChanged);
  EXPECT_FALSE(outcome.neutralsSlidersOff);
  EXPECT_EQ(AppPrefs().workingSpace, 0);
}

TEST_F(PrefDialogsTest, UndoingTheWorkingSpaceChangePutsTheOldSpaceBack) {
  std::string path;
  ASSERT_EQ(PrefsFilePath(state_, path), kOk);
  std::remove(path.c_str());
  WorkingSpace ws;
  ws.index = 13;
  AppPrefs().workingSpace = 0;
  AppPrefs().colourStartWith = 1;  // previous settings: the question is asked
  host().answers = {1};             // "Undo Working Space Change"
  WorkingSpaceChange change;
  EXPECT_EQ(FinishPreferencesHub(ws, change), kOk);
  const auto questions = host().Of(ScriptedHost::Kind::Question);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "Changing the working space will invalidate the 'Start With' previous and custom settings.");
  EXPECT_EQ(AppPrefs().workingSpace, 13);
  EXPECT_EQ(ws.index, 13);
  EXPECT_EQ(FileEntries(state_).at(70), 13);  // written after the hub
}

}  // namespace

// The application's dialogs besides the editing window: the preference hub
// and its six preference dialogs, "Save Image as...", the Define Color and
// Memory Color windows, the help window, and the profile question of the
// Batchline's Add (dialog 6007, shown by the Qt host). The editing window
// calls these; each runs modally and returns when it has closed.
//
// Results: 0 when confirmed, kCancelled (-10) when cancelled (never alerted);
// other failures are reported where they happen and returned. A preference
// dialog works on a copy of the preference record (prefs.h, AppPrefs): OK
// stores the copy's values of that dialog, Cancel leaves the record as it
// was, "Restore Defaults" puts the preference table's defaults into the copy.
//
// Template ids registered here (Ui_Dlg_RegisterTemplate): 1001 hub, 1002
// help, 1006 Brivio, 1011 colour management, 1012 user interface, 1013 add
// image, 1014 save image, 1015 sync preferences, 1020 Define Color, 1021
// Memory Color, 6007 profile question. Everything runs on the UI thread and
// needs the application state (AppState) to be open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "correct/tavelinpars.h"
#include "base/status.h"
#include "base/uihost.h"

class QWidget;
struct WorkingSpace;
struct WorkingSpaceChange;

// ---- preference dialogs --------------------------------------------------------

// How a dialog of the hub was opened. Before an operation (Add Images, Save,
// Sync) a confirmed dialog writes the preferences file at once (a failed write
// is reported and the dialog still returns 0); from the hub the file is
// written when the hub has closed (FinishPreferencesHub).
enum class PrefsOpening { kFromHub, kBeforeOperation };

Status ShowBrivioPrefs(QWidget* owner);                                                  // 1006
Status ShowAddImagePrefs(QWidget* owner, PrefsOpening opening = PrefsOpening::kFromHub);   // 1013
Status ShowSaveImagePrefs(QWidget* owner, PrefsOpening opening = PrefsOpening::kFromHub);  // 1014
Status ShowSyncPrefs(QWidget* owner, PrefsOpening opening = PrefsOpening::kFromHub);       // 1015
Status ShowUserInterfacePrefs(QWidget* owner);                                            // 1012
Status ShowColorManagementPrefs(QWidget* owner);                                          // 1011

// What changed while the hub was open, for the editing window's own steps
// after it (its copy of the window's preferences, the Preview button's place,
// the balance method control).
struct PrefsHubOutcome {
  bool pixelValuesChanged = false;   // 69: the Preview button moves by 61 units
  bool neutralsSlidersOff = false;   // 66 is now off: the balance method goes back to "Neutrals"
  bool workingSpaceChanged = false;  // 70 differs from its value at the hub's opening
};

// The hub (1001): its six buttons open the dialogs above; OK (or closing it)
// ends it. Always 0 once shown (each dialog has stored or not by itself).
Status ShowPreferencesHub(QWidget* owner, PrefsHubOutcome* outcome);

// The steps after the hub that are not the window's own: when preference 70
// differs from the live working space, the working-space change with its two
// questions (ChangeWorkingSpace; "Undo Working Space Change" puts the old
// index back into the preferences); then the preferences file is written
// ("updating Preferences file %s" on failure). `change` is the window's (image
// open, rebuild and retarget hooks); its start-with is taken from preference
// 64, and without its own reset hook the previous-settings record of the
// preferences goes back to its defaults in the new working space.
Status FinishPreferencesHub(WorkingSpace& ws, WorkingSpaceChange change);

// Writes the preferences record to the preferences file; a failure is
// reported ("updating Preferences file %s") and returned.
Status SavePreferencesFile();

// ---- Save Image as ----------------------------------------------------------------

struct SaveAsRequest {
  std::string outputPath;    // by the naming rules (base/naming.h) for the chosen format
  int32_t outputFormat = 1;  // 1 TIFF, 7 BMP, 9 JPEG, 10 16-bit TIFF
  int32_t colorType = 1;     // of the input: 1 RGB, 4 CMYK, 5 gray, 7 CIE L*a*b*
  int32_t maxValue = 255;    // of the input's samples
};
struct SaveAsChoice {
  std::string path;
  int32_t format = 1;  // the chosen type: 1, 7, 9, or 10 for TIFF of an input with 16-bit samples
};

// The file-save chooser with the prompt "Save Image as:", proposing the
// output path (in the last "Save Image as..." folder, preference 90, when one
// is stored). The types offered follow the input's colour type (RGB and gray:
// BMP, JPEG, TIFF; CMYK: JPEG, TIFF; L*a*b* and others: TIFF), the current
// format preselected (TIFF when not offered); choosing another type swaps the
// name's extension, in the case of preference 77. kCancelled on Cancel.
Status SaveImageAsDialog(QWidget* owner, const SaveAsRequest& request, SaveAsChoice* choice);
// After the image was saved to `path`: its folder becomes preference 90 and
// `record` the previous settings.
Status SaveImageAsDone(const std::string& path, const TavelinPars& record);

// ---- colour definitions -------------------------------------------------------------

// What the Define Color window changes beyond the preferences.
struct DefineColorContext {
  // The open image's live record: kind 0 refits its balance to the new
  // neutral, kind 3 sets its toneColor. Required for kind 3.
  TavelinPars* pars = nullptr;
  // After each committed change (slider released, Color Picker, Restore
  // Default, Load): Brivio for kind 0 in "Brivio Mode", the preview rebuilt.
  std::function<Status()> changed;
  // After Cancel put back the record, the neutral, grayscale and sepia
  // colours and refitted the balance: Brivio for kind 0, the previews.
  std::function<Status()> cancelled;
};

// Stores a colour of a kind (correct/definitions.h): 0 the preferences'
// neutral colour and, with a record, its neutralPref; 1 the grayscale and 2
// the sepia definition of the preferences; 3 the record's toneColor.
Status SetDefinition(DefineColorContext& context, int kind, const float rgb[3]);

// The "Define Color" window (1020) for one kind: sliders C-R, M-G, Y-B
// (-100..100; live while dragging when "Live Sliders" is on, else on
// release), "Color Picker...", "Restore Default", "Load...", "Save...".
// OK keeps every change; Cancel (kCancelled) restores what the window changed.
Status ShowDefineColor(QWidget* owner, int kind, DefineColorContext& context);

// The memory colour definition window (1021, "Memory Color") for slot 0..5.
struct MemoryColorContext {
  TavelinPars* pars = nullptr;    // the live record, for "Set from Hue Handle"
  int activeHandle = 0;           // its identity (6..11)
  bool handleHasSamples = false;  // colours were marked for the active handle
};
// Gradient, name (20 characters) and label (1), "Set from Hue Handle",
// "Clear", "Load...", "Save...". OK stores the slot into the preferences.
Status ShowMemoryColor(QWidget* owner, int slot, const MemoryColorContext& context);

// ---- help -----------------------------------------------------------------------

// The help window (1002) for one topic of the help file (default: the
// temporary folder + "TavelinMarvet Help"). kFormatErr and no window for a
// topic the file lacks; open and read failures are reported. Only topic 2007
// shows "Don't Show Again" (the inverse of preference 89, stored on closing).
Status ShowHelpTopic(int topic, const std::string& helpPath = std::string());

// The topic of the built-in guide that "User Guide" opens for a topic: the
// tools' and preferences' own topics, one for the colour definitions, the
// overview (2000) for the rest. "FAQ" opens topic 2020.
int HelpGuideTopic(int topic);

// ---- the profile question ------------------------------------------------------------

constexpr int kProfileQuestionDialog = 6007;

// Dialog 6007 for the core's profile question (colormgmt/profilepolicy.h):
// its options as radio buttons, "Choose..." (selects the choose option and
// runs the profile chooser in the dialog; a rejected file shows "You must
// select an RGB input or monitor profile"), OK (disabled while the choose
// option is selected and no profile is chosen) and Cancel. Returns the
// index of the chosen button of `question` (its cancel button on Cancel);
// `chosenProfile` receives the profile chosen in the dialog, if any.
int Ui_ProfileQuestionDialog(const UiQuestion& question, std::string* chosenProfile);

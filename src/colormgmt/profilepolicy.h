// Which input profile an image gets when it is added to the Batchline: the
// profile embedded in it, one the user chooses, or none (the image is then
// simply assigned the working space). This module owns the decision per
// image, the question asked when the policy says "ask" (dialog 6007, asked
// through UiHost), the profile chooser, and the temporary copies of embedded
// profiles.
//
// Profile actions: 0 ask the user, 1 assign the working space (no input
// profile), 2 convert with a chosen profile, 3 use the embedded profile (only
// for an image that has one). An input profile path is empty for "assign";
// for an embedded profile it names a copy in the temporary folder under a
// unique name "Quilo%06d.tmp". Copies that are rejected or not chosen are
// deleted at once; the one an image uses stays for as long as the image is
// in the Batchline (the Batchline deletes it).
#pragma once

#include <cstdint>
#include <string>

#include "colormgmt/iccxform.h"
#include "base/status.h"

enum ProfileAction : int32_t { kProfileAsk = 0, kProfileAssign = 1, kProfileConvert = 2, kProfileEmbedded = 3 };

// Whether the image file embeds an ICC profile (through the image-file
// framework, which recognises the file by content). The file's status when it
// cannot be recognised.
Status Ui_ICC_HasEmbeddedProfile(const std::string& imagePath, bool& has);
// Writes the image's embedded profile to `profilePath`; kBadArg when the
// image has none.
Status Ui_ICC_SaveEmbeddedProfile(const std::string& imagePath, const std::string& profilePath);

// The system's colour-profile folder (ending in '/'), where the chooser starts:
// the user's ICC folder when it exists, else the shared one; empty when neither.
std::string ICCColorFolder();

// Whether the colour service can use the profile at `path` to convert into
// the working space: an RGB input or monitor profile (Ui_ICC_CheckRgbInputProfile)
// from which a transform to `workingSpaceProfile` can be made. The status of
// the check that fails.
Status Ui_ICC_CheckUsableInputProfile(const std::string& path, const std::string& workingSpaceProfile);

// Asks for an RGB input or monitor profile with the open-file chooser
// ("Select an RGB input or monitor profile"), starting in the folder of
// `path`, or in the colour-profile folder when `path` is empty. The chosen
// file must pass Ui_ICC_CheckRgbInputProfile. On success `path` is the chosen
// file; on a cancel (kCancelled) or failure `path` keeps its previous value.
Status Ui_ICC_ChooseProfile(std::string& path);

// The question of dialog 6007.
struct ProfileQuestion {
  // Input.
  std::string imagePath;
  std::string workingSpaceProfile;  // path of the working-space profile
  std::string tempFolder;           // ends in '/'
  int32_t missingAction = kProfileAssign;  // preset for an image without embedded profile: 1 or 2
  std::string missingPath;                 // its preset profile path (action 2)
  int32_t embeddedAction = kProfileEmbedded;  // preset with an embedded profile: 1..3; 0: not looked at
  std::string embeddedPath;
  // Output: 1, 2 or 3 and the input profile path (empty for 1; the temporary
  // copy of the embedded profile for 3). Action 0 and an empty path on failure.
  int32_t action = 0;
  std::string profilePath;
};

// Asks which input profile the image gets. With an embedded profile (looked
// for unless embeddedAction is 0) a temporary copy is saved, described and
// checked; if any of that fails the copy is deleted and the user is told
// "The color profile that is embedded in the image cannot be used." ("Discard
// it" / Cancel), and the question runs in the missing mode. The question's
// buttons are its options ("Use the embedded profile: <desc>", "Assign
// working space RGB: <desc>", "Choose a profile to use to convert to working
// space RGB") and Cancel; the choose option runs Ui_ICC_ChooseProfile, and a
// rejected file shows "You must select an RGB input or monitor profile"; after
// a rejected or cancelled choice the question is asked again with Cancel as
// its default. Cancel anywhere gives kCancelled. Failures are returned, not
// reported (the caller reports them).
Status Ui_ICC_AskProfileAction(ProfileQuestion& question);

// The two cases' actions and profile paths: the preferences' policy (missing
// action 0..2, embedded action 0..3), or the question's default answers
// (missing 1..2, embedded 1..3).
struct ProfileChoices {
  int32_t missingAction = kProfileAssign;
  std::string missingPath;
  int32_t embeddedAction = kProfileEmbedded;
  std::string embeddedPath;
};

// Values of preferences out of their range are replaced by the defaults
// (kUnsupported returned): policy 0..2 / 0..3, answers 1..2 / 1..3.
Status CheckProfilePolicy(ProfileChoices& policy);
Status CheckProfileAnswers(ProfileChoices& answers);

// One add operation. `actions` starts from the preferences' policy and takes
// each answer of the question for the case it was asked for, so later images
// of the same add are not asked again (after action 2 they use the profile
// just chosen). `answers` are the question's default answers, kept in the
// application state (not owned; must be set).
struct ProfileAddOperation {
  ProfileChoices actions;
  ProfileChoices* answers = nullptr;
  std::string workingSpaceProfile;
  std::string tempFolder;  // ends in '/'
};

// Decides the input profile of one image (already recognised as RGB):
//   1: none; 2: the path of the case, which the colour service must be able
//   to use (else the image is refused: reported, kFormatErr or the check's
//   status, never assigned in silence); 3: a checked temporary copy of the
//   embedded profile (if it cannot be saved or is no RGB input profile, the
//   copy is deleted and "The color profile that is embedded in the image
//   cannot be used." is asked: Cancel ends with kCancelled, "Discard it"
//   goes on as action 0 for an image without an embedded profile, whose
//   answer also becomes the default answer of that case); 0: the question,
//   opened with the default answers. A question failure other than a cancel
//   is reported with "choosing an ICC profile"; kCancelled is silent. Any
//   other action: kUnsupported.
Status DecideInputProfile(ProfileAddOperation& add, const std::string& imagePath, std::string& inputProfile);

// Converts an image's Batchline thumbnail from its input profile into the
// working space with a system transform (in place). A failure is reported
// with "reading image file %s" (the image's leaf name) and returned; the
// thumbnail then stays unconverted.
Status ConvertThumbnailToWorkingSpace(const std::string& inputProfile, const std::string& workingSpaceProfile,
                                      const std::string& imagePath, const ICCImage& thumbnail);

// The pictures of the help text: the bitmaps that picture paragraphs
// (")<number>") name, drawn here rather than carried as files. Internal to
// the help window.
#pragma once

class QImage;

// Bitmap numbers the built-in help text uses.
enum HelpPictureId : int {
  kPictureOrderOfWork = 3001,
  kPictureHueRing = 3002,
  kPictureLevels = 3003,
  kPictureQualityBar = 3004,
};
inline constexpr int kHelpPictureIds[] = {kPictureOrderOfWork, kPictureHueRing, kPictureLevels, kPictureQualityBar};

// The bitmap `id`; false (and a null image) for an unknown number.
bool Ui_HelpPicture(int id, QImage* image);

// Fuzzes the metadata read and write through exiv2 (XMP, IPTC, a TIFF's
// EXIF, the orientation): what is read from the file goes back into it.
#include "fuzz_image.h"
#include "imagefile/metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  ImageMeta meta;
  MetaReadExtras(FuzzPath(), kRasTiff, meta);
  if (meta.xmp.empty()) meta.xmp.assign({'<', 'x', '/', '>'});
  std::string why;
  MetaWriteExtras(FuzzPath(), kRasTiff, meta, &why);
  return 0;
}

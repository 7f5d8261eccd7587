#include "imagefile/metadata.h"

#include <exiv2/exiv2.hpp>

#include <cstring>
#include <mutex>

#include "base/debuglog.h"
#include "imagefile/rasimage.h"

namespace {

void SetUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
  });
}

bool IsTiff(int32_t format) { return format == kRasTiff || format == kRasTiff16; }

// IFD0 tags of a TIFF file that describe the picture (the rest of IFD0 is
// the file's structure, which its writer makes anew).
bool DescribesPicture(uint16_t tag) {
  switch (tag) {
    case 0x010e:  // ImageDescription
    case 0x010f:  // Make
    case 0x0110:  // Model
    case 0x0112:  // Orientation
    case 0x0131:  // Software
    case 0x0132:  // DateTime
    case 0x013b:  // Artist
    case 0x8298:  // Copyright
    case 0x8769:  // the EXIF directory
    case 0x8825:  // the GPS directory
      return true;
    default: return false;
  }
}

// A TIFF file's EXIF without its structure and thumbnail, as EXIF data.
void TiffExif(const Exiv2::ExifData& in, std::vector<uint8_t>& out, Exiv2::ByteOrder order) {
  Exiv2::ExifData kept;
  for (const Exiv2::Exifdatum& d : in) {
    const std::string group = d.groupName();
    if (group == "Image" ? !DescribesPicture(d.tag()) : group.rfind("Thumbnail", 0) == 0 || group.rfind("SubImage", 0) == 0)
      continue;
    if (d.key() == "Exif.Image.Orientation" && d.toLong() == 1) continue;  // normal: the same as none
    kept.add(d);
  }
  if (kept.empty()) return;
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order, kept);
  out.assign(blob.begin(), blob.end());
}

// A camera raw file's EXIF as EXIF data for the rendered image: the picture's
// IFD0 tags, the EXIF directory without the maker note and the GPS
// directory. The other directories (thumbnail, previews, the raw data's own
// IFDs, the maker's) are left out, as writers of other formats choke on
// them. The rendered pixels stand upright, so a stated orientation becomes
// "normal".
void RawExif(const Exiv2::ExifData& in, std::vector<uint8_t>& out, Exiv2::ByteOrder order) {
  Exiv2::ExifData kept;
  bool turned = false;
  for (const Exiv2::Exifdatum& d : in) {
    const std::string group = d.groupName();
    const bool keep = group == "Image" ? DescribesPicture(d.tag())
                      : group == "Photo" ? d.tag() != 0x927c  // MakerNote
                                         : group == "GPSInfo";
    if (!keep) continue;
    if (d.key() == "Exif.Image.Orientation") {
      turned = true;
      continue;
    }
    kept.add(d);
  }
  if (kept.empty()) return;
  if (turned) kept["Exif.Image.Orientation"] = uint16_t(1);
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order, kept);
  out.assign(blob.begin(), blob.end());
}

int32_t OrientationOf(const Exiv2::ExifData& exif) {
  auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
  if (it == exif.end() || it->count() < 1) return 0;
  const long v = it->toLong();
  return v >= 1 && v <= 8 ? (int32_t)v : 0;
}

}  // namespace

void MetaReadExtras(const std::string& path, int32_t format, ImageMeta& meta) {
  SetUp();
  try {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    if (!image.get()) return;
    image->readMetadata();
    if (meta.xmp.empty() && !image->xmpPacket().empty()) {
      const std::string& packet = image->xmpPacket();
      meta.xmp.assign(packet.begin(), packet.end());
    }
    if (meta.iptc.empty() && !image->iptcData().empty()) {
      const Exiv2::DataBuf buf = Exiv2::IptcParser::encode(image->iptcData());
      meta.iptc.assign(buf.pData_, buf.pData_ + buf.size_);
    }
    if (meta.exif.empty() && IsTiff(format)) TiffExif(image->exifData(), meta.exif, image->byteOrder());
    if (format == kRasCameraRaw) {
      // The camera raw module turns the pixels upright itself.
      if (meta.exif.empty()) RawExif(image->exifData(), meta.exif, image->byteOrder());
      meta.orientation = 0;
    } else {
      meta.orientation = OrientationOf(image->exifData());
    }
  } catch (const std::exception& e) {
    DLog("metadata of %s left out: %s", path.c_str(), e.what());
  }
}

std::vector<uint8_t> MetaOrientationExif(int32_t orientation) {
  std::vector<uint8_t> out;
  if (orientation < 2 || orientation > 8) return out;
  SetUp();
  Exiv2::ExifData data;
  data["Exif.Image.Orientation"] = uint16_t(orientation);
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data);
  out.assign(blob.begin(), blob.end());
  return out;
}

Status MetaWriteExtras(const std::string& path, int32_t format, const ImageMeta& meta, std::string* why) {
  const bool xmp = !meta.xmp.empty(), iptc = !meta.iptc.empty(), exif = !meta.exif.empty() && IsTiff(format);
  if (!xmp && !iptc && !exif) return kOk;
  SetUp();
  try {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    if (!image.get()) return kOk;
    const int type = image->imageType();
    if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::tiff && type != Exiv2::ImageType::png) return kOk;
    image->readMetadata();
    bool changed = false;
    if (xmp && image->xmpPacket().empty()) {
      image->setXmpPacket(std::string(meta.xmp.begin(), meta.xmp.end()));
      image->writeXmpFromPacket(true);
      changed = true;
    }
    if (iptc && image->iptcData().empty()) {
      Exiv2::IptcData data;
      if (Exiv2::IptcParser::decode(data, meta.iptc.data(), (uint32_t)meta.iptc.size()) == 0 && !data.empty()) {
        image->setIptcData(data);
        changed = true;
      }
    }
    if (exif) {
      Exiv2::ExifData data;
      Exiv2::ExifParser::decode(data, meta.exif.data(), (uint32_t)meta.exif.size());
      Exiv2::ExifData& target = image->exifData();
      for (const Exiv2::Exifdatum& d : data) {
        if (d.groupName().rfind("Thumbnail", 0) == 0 || (d.groupName() == "Image" && !DescribesPicture(d.tag())))
          continue;
        if (target.findKey(Exiv2::ExifKey(d.key())) == target.end()) {
          target.add(d);
          changed = true;
        }
      }
    }
    if (changed) image->writeMetadata();
  } catch (const std::exception& e) {
    if (why) *why = std::string("the metadata cannot be written: ") + e.what();
    return kWriteErr;
  }
  return kOk;
}

// PNG files through libspng: the image, at any depth and of any colour type,
// is decoded row by row straight into a plane (interlaced images
// deinterlaced there, samples as the file stores them), turned by the
// library as it is displayed (under the eXIf orientation) and encoded
// again, not interlaced; every other chunk is kept as the file had it
// (png_chunks.h), and an animation's frames are turned with the image
// (png_frames.h). libspng reports by return codes and never prints.
#include <spng.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "exif.h"
#include "image_file.h"
#include "plane.h"
#include "png_chunks.h"
#include "png_frames.h"

namespace quadturn::tool {
namespace {

// zlib's level 4 with adaptive row filters: on scans about as small as the
// usual level 6 (smaller on a 600 dpi grey page, 8% larger on a photograph)
// at 2-2.5 times its speed; deflating is nearly all of a PNG's time.
constexpr int kCompressionLevel = 4;

// Chunks larger than this, or more than this in all, mark a file as hostile
// rather than an image (an embedded profile or text of megabytes is).
constexpr std::size_t kChunkLimit = std::size_t{64} << 20;
constexpr std::size_t kChunkCacheLimit = std::size_t{256} << 20;

struct Context {
  explicit Context(int flags) : ctx(spng_ctx_new(flags)) {}
  ~Context() { spng_ctx_free(ctx); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  spng_ctx* ctx;
};

// The file as the decoder reads it, its chunks kept on the way.
struct Source {
  Input* in;
  PngChunkTap tap;
  std::string error;
};

int ReadFromInput(spng_ctx*, void* user, void* to, std::size_t n) {
  auto* s = static_cast<Source*>(user);
  switch (s->in->Read(to, n, &s->error)) {
    case ReadResult::kOk:
      return s->tap.Take(static_cast<const uint8_t*>(to), n, &s->error) ? 0 : SPNG_IO_ERROR;
    case ReadResult::kEnd: return SPNG_IO_EOF;
    case ReadResult::kError: return SPNG_IO_ERROR;
  }
  return SPNG_IO_ERROR;
}

// Bits per pixel: every depth of every colour type (libspng has checked
// the pair), samples as the file stores them.
int PixelBits(const spng_ihdr& ihdr) {
  int samples = 1;
  switch (ihdr.color_type) {
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: samples = 2; break;
    case SPNG_COLOR_TYPE_TRUECOLOR: samples = 3; break;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: samples = 4; break;
  }
  return ihdr.bit_depth * samples;
}

// The encoder's output, appended to the turned file as it comes.
int AppendTo(spng_ctx*, void* user, void* from, std::size_t n) {
  static_cast<std::string*>(user)->append(static_cast<const char*>(from), n);
  return 0;
}

class TurnedPng : public TurnedFile {
 public:
  bool WriteTo(Output& out, std::string* error) override {
    return stream.Write([&](const void* p, std::size_t n) { return out.Write(p, n, error); });
  }
  TurnedPngStream stream;
};

std::string Damaged(int code, const Source& source) {
  if (code == SPNG_IO_ERROR && !source.error.empty()) return source.error;
  if (code == SPNG_IO_EOF) return "truncated PNG file";
  return std::string("damaged PNG file (") + spng_strerror(code) + ")";
}

// The image's rows into `page` as the decoder gives them: libspng sets the
// bits of packed pixels into the row it is given, so each row is cleared
// before its first pixels come (an interlaced row's come in several
// passes); only rows the file reaches are touched. SPNG_EOI at the end.
int DecodeRows(spng_ctx* decoder, Plane* page) {
  int r = 0;
  uint32_t cleared = 0;
  for (spng_row_info row; r == 0;) {
    r = spng_get_row_info(decoder, &row);
    for (; r == 0 && page->bits() < 8 && cleared <= row.row_num; ++cleared) {
      std::memset(page->Row(cleared), 0, page->row_bytes());
    }
    if (r == 0) r = spng_decode_row(decoder, page->Row(row.row_num), page->row_bytes());
  }
  return r;
}

// The image's rows into `page`, with the chunks before and behind them
// going through the source's tap.
bool DecodePage(spng_ctx* decoder, Source& source, Plane* page, std::string* error) {
  // Reads the chunks up to the image data.
  int r = spng_decode_image(decoder, nullptr, 0, SPNG_FMT_RAW, SPNG_DECODE_PROGRESSIVE);
  if (r == 0) r = DecodeRows(decoder, page);
  // The chunks behind the image data (text, time, frames) come with the end.
  if (r == SPNG_EOI) r = spng_decode_chunks(decoder);
  if (r != 0) *error = Damaged(r, source);
  return r == 0;
}

// The turned page as a PNG stream with the decoded file's header (its
// interlacing dropped) and palette; its other chunks are added after.
bool EncodePage(spng_ctx* decoder, const spng_ihdr& ihdr, const Plane& page,
                std::string* encoded, std::string* error) {
  Context encoder(SPNG_CTX_ENCODER);
  if (encoder.ctx == nullptr) {
    *error = "out of memory";
    return false;
  }
  spng_set_png_stream(encoder.ctx, AppendTo, encoded);
  spng_set_option(encoder.ctx, SPNG_IMG_COMPRESSION_LEVEL, kCompressionLevel);
  spng_ihdr turned = ihdr;
  turned.width = page.width();
  turned.height = page.height();
  turned.interlace_method = SPNG_INTERLACE_NONE;
  int r = spng_set_ihdr(encoder.ctx, &turned);
  // The encoder needs the palette of an indexed image; the file's own PLTE
  // chunk is what is written.
  spng_plte plte;
  if (r == 0 && spng_get_plte(decoder, &plte) == 0) r = spng_set_plte(encoder.ctx, &plte);
  if (r == 0) {
    r = spng_encode_image(encoder.ctx, nullptr, 0, SPNG_FMT_RAW,
                          SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  }
  for (uint32_t y = 0; r == 0 && y < page.height(); ++y) {
    r = spng_encode_row(encoder.ctx, page.Row(y), page.row_bytes());
  }
  if (r != SPNG_EOI && !(r == 0 && page.height() == 0)) {
    *error = std::string("cannot encode the turned image (") + spng_strerror(r) + ")";
    return false;
  }
  return true;
}

// The IHDR chunk's data.
std::string HeaderData(const spng_ihdr& ihdr) {
  std::string data(13, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&data[0]);
  PutPngU32(p, ihdr.width);
  PutPngU32(p + 4, ihdr.height);
  p[8] = ihdr.bit_depth;
  p[9] = ihdr.color_type;
  p[10] = ihdr.compression_method;
  p[11] = ihdr.filter_method;
  p[12] = ihdr.interlace_method;
  return data;
}

// One animation frame, a PNG stream of its own, given RotateFlip's `type`
// as the image is.
bool TurnFrame(const std::string& frame, int type, std::string* turned, std::string* error) {
  Context decoder(0);
  if (decoder.ctx == nullptr) {
    *error = "out of memory";
    return false;
  }
  spng_set_png_buffer(decoder.ctx, frame.data(), frame.size());
  spng_ihdr ihdr;
  Plane page;
  int r = spng_get_ihdr(decoder.ctx, &ihdr);
  if (r == 0 && !page.Make(ihdr.width, ihdr.height, PixelBits(ihdr), error)) return false;
  if (r == 0) r = spng_decode_image(decoder.ctx, nullptr, 0, SPNG_FMT_RAW, SPNG_DECODE_PROGRESSIVE);
  if (r == 0) r = DecodeRows(decoder.ctx, &page);
  if (r != SPNG_EOI) {
    *error = std::string("damaged (") + spng_strerror(r) + ")";
    return false;
  }
  return page.Turn(type, error) && EncodePage(decoder.ctx, ihdr, page, turned, error);
}

}  // namespace

std::unique_ptr<TurnedFile> TurnPngFile(Input& input, const Turning& turning,
                                        std::string* error) {
  Context decoder(0);
  Source source{&input, PngChunkTap(kChunkCacheLimit, input.Size()), ""};
  if (decoder.ctx == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  spng_set_chunk_limits(decoder.ctx, kChunkLimit, kChunkCacheLimit);
  spng_set_png_stream(decoder.ctx, ReadFromInput, &source);
  spng_ihdr ihdr;
  const int r = spng_get_ihdr(decoder.ctx, &ihdr);
  if (r != 0) {
    *error = Damaged(r, source);
    return nullptr;
  }
  const int bits = PixelBits(ihdr);
  const std::string over =
      PageOverLimit((uint64_t{ihdr.width} * bits + 7) / 8 * ihdr.height, turning.max_page_bytes);
  if (!over.empty()) {
    *error = over;
    return nullptr;
  }
  Plane page;
  if (!page.Make(ihdr.width, ihdr.height, bits, error) ||
      !DecodePage(decoder.ctx, source, &page, error)) {
    return nullptr;
  }
  // Turned as displayed under the EXIF orientation (none: 1).
  const PngChunk* exif = source.tap.Find("eXIf");
  const int tag = exif != nullptr ? std::max(1, ExifOrientation(exif->Data(), exif->DataSize())) : 1;
  const int stored = turning.StoredType(tag);
  if (!page.Turn(stored, error)) return nullptr;

  std::string encoded;
  if (!EncodePage(decoder.ctx, ihdr, page, &encoded, error)) return nullptr;
  auto file = std::make_unique<TurnedPng>();
  file->unchanged = stored == QUADTURN_NONE && turning.upright;
  std::vector<PngChunk>& chunks = source.tap.chunks();
  const FrameTurner turn_frame = [stored](const std::string& frame, std::string* turned,
                                          std::string* why) {
    return TurnFrame(frame, stored, turned, why);
  };
  if (source.tap.Find("acTL") != nullptr &&
      !TurnPngFrames(&chunks, HeaderData(ihdr), ihdr.width, ihdr.height, stored, turn_frame,
                     error)) {
    return nullptr;
  }
  ChunksForTurnedImage(&chunks, turning, stored, turning.TagAfter(tag), &file->notes);
  if (!file->stream.Make(std::move(encoded), std::move(chunks))) {
    *error = "cannot encode the turned image (the encoder's output is not a PNG stream)";
    return nullptr;
  }
  return file;
}

}  // namespace quadturn::tool

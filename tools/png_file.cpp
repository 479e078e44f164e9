// PNG files through libspng: the image is decoded row by row straight into
// a block (interlaced images deinterlaced there), turned by the library and
// encoded again, not interlaced, with the file's palette, transparency,
// colour information, text, time and the unknown chunks that are safe to
// copy. libspng reports by return codes and never prints.
#include <spng.h>

#include <cstring>
#include <vector>

#include "image_file.h"
#include "page.h"

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

struct Source {
  Input* in;
  std::string error;
};

int ReadFromInput(spng_ctx*, void* user, void* to, std::size_t n) {
  auto* s = static_cast<Source*>(user);
  switch (s->in->Read(to, n, &s->error)) {
    case ReadResult::kOk: return 0;
    case ReadResult::kEnd: return SPNG_IO_EOF;
    case ReadResult::kError: return SPNG_IO_ERROR;
  }
  return SPNG_IO_ERROR;
}

// Bits per pixel of the layouts the library turns, or 0 with the reason.
int PixelBits(const spng_ihdr& ihdr, std::string* why) {
  const int depth = ihdr.bit_depth;
  int samples = 0;
  switch (ihdr.color_type) {
    case SPNG_COLOR_TYPE_GRAYSCALE: case SPNG_COLOR_TYPE_INDEXED: samples = 1; break;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: samples = 2; break;
    case SPNG_COLOR_TYPE_TRUECOLOR: samples = 3; break;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: samples = 4; break;
  }
  if (depth == 2 || depth == 16) {
    *why = std::to_string(depth) + "-bit samples";
    return 0;
  }
  if (samples == 0 || (samples > 1 && depth != 8)) {
    *why = "colour type " + std::to_string(ihdr.color_type) + " at " + std::to_string(depth) +
           " bits";
    return 0;
  }
  return depth * samples;
}

// Whether an unknown chunk may be copied into a file whose pixels changed:
// the fifth bit of its fourth letter says so.
bool SafeToCopy(const spng_unknown_chunk& c) { return (c.type[3] & 0x20) != 0; }

// The decoder's chunks, other than the image header, set on the encoder.
// Pointers stay the decoder's: it outlives the encoding. oFFs (a position
// on a page) is dropped; pHYs is exchanged after a quarter turn.
template <typename Chunk>
void CopyChunk(spng_ctx* from, spng_ctx* to, int (*get)(spng_ctx*, Chunk*),
               int (*set)(spng_ctx*, Chunk*)) {
  Chunk chunk;
  if (get(from, &chunk) == 0) set(to, &chunk);
}

void CopyChunks(spng_ctx* from, spng_ctx* to, const Turning& turning) {
  CopyChunk(from, to, spng_get_plte, spng_set_plte);
  CopyChunk(from, to, spng_get_trns, spng_set_trns);
  CopyChunk(from, to, spng_get_chrm_int, spng_set_chrm_int);
  CopyChunk(from, to, spng_get_iccp, spng_set_iccp);
  CopyChunk(from, to, spng_get_sbit, spng_set_sbit);
  CopyChunk(from, to, spng_get_bkgd, spng_set_bkgd);
  CopyChunk(from, to, spng_get_hist, spng_set_hist);
  CopyChunk(from, to, spng_get_time, spng_set_time);
  CopyChunk(from, to, spng_get_exif, spng_set_exif);
  uint32_t gama = 0;
  if (spng_get_gama_int(from, &gama) == 0) spng_set_gama_int(to, gama);
  uint8_t intent = 0;
  if (spng_get_srgb(from, &intent) == 0) spng_set_srgb(to, intent);
  spng_phys phys;
  if (spng_get_phys(from, &phys) == 0) {
    if (turning.ExchangesResolutions()) std::swap(phys.ppu_x, phys.ppu_y);
    spng_set_phys(to, &phys);
  }
  uint32_t n = 0;
  if (spng_get_text(from, nullptr, &n) == 0 && n > 0) {
    std::vector<spng_text> text(n);
    if (spng_get_text(from, text.data(), &n) == 0) spng_set_text(to, text.data(), n);
  }
  n = 0;
  if (spng_get_splt(from, nullptr, &n) == 0 && n > 0) {
    std::vector<spng_splt> splt(n);
    if (spng_get_splt(from, splt.data(), &n) == 0) spng_set_splt(to, splt.data(), n);
  }
  n = 0;
  if (spng_get_unknown_chunks(from, nullptr, &n) == 0 && n > 0) {
    std::vector<spng_unknown_chunk> chunks(n);
    if (spng_get_unknown_chunks(from, chunks.data(), &n) == 0) {
      std::vector<spng_unknown_chunk> kept;
      for (const spng_unknown_chunk& c : chunks) {
        if (SafeToCopy(c)) kept.push_back(c);
      }
      if (!kept.empty()) {
        spng_set_unknown_chunks(to, kept.data(), static_cast<uint32_t>(kept.size()));
      }
    }
  }
}

// The encoder's output, appended to the turned file as it comes.
int AppendTo(spng_ctx*, void* user, void* from, std::size_t n) {
  static_cast<std::string*>(user)->append(static_cast<const char*>(from), n);
  return 0;
}

std::string Damaged(int code, const Source& source) {
  if (code == SPNG_IO_ERROR && !source.error.empty()) return source.error;
  if (code == SPNG_IO_EOF) return "truncated PNG file";
  return std::string("damaged PNG file (") + spng_strerror(code) + ")";
}

}  // namespace

std::unique_ptr<TurnedFile> TurnPngFile(Input& input, const Turning& turning,
                                        std::string* error) {
  Context decoder(0);
  Source source{&input, ""};
  if (decoder.ctx == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  spng_set_chunk_limits(decoder.ctx, kChunkLimit, kChunkCacheLimit);
  spng_set_option(decoder.ctx, SPNG_KEEP_UNKNOWN_CHUNKS, 1);
  spng_set_png_stream(decoder.ctx, ReadFromInput, &source);
  spng_ihdr ihdr;
  int r = spng_get_ihdr(decoder.ctx, &ihdr);
  if (r != 0) {
    *error = Damaged(r, source);
    return nullptr;
  }
  std::string why;
  const int bits = PixelBits(ihdr, &why);
  if (bits == 0) {
    *error = "not supported: " + why;
    return nullptr;
  }
  Page page;
  if (!page.Make(ihdr.width, ihdr.height, bits, error)) return nullptr;
  r = spng_decode_image(decoder.ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
  // libspng sets the bits of packed pixels into the row it is given, so each
  // row is cleared before its first pixels come (an interlaced row's come in
  // several passes); only rows the file reaches are touched.
  uint32_t cleared = 0;
  for (spng_row_info row; r == 0;) {
    r = spng_get_row_info(decoder.ctx, &row);
    for (; r == 0 && bits < 8 && cleared <= row.row_num; ++cleared) {
      std::memset(page.Row(cleared), 0, page.row_bytes());
    }
    if (r == 0) r = spng_decode_row(decoder.ctx, page.Row(row.row_num), page.row_bytes());
  }
  // The chunks behind the image data (text, time) come with the end.
  if (r == SPNG_EOI) r = spng_decode_chunks(decoder.ctx);
  if (r != 0) {
    *error = Damaged(r, source);
    return nullptr;
  }
  if (!page.Turn(turning.turns, error)) return nullptr;

  Context encoder(SPNG_CTX_ENCODER);
  if (encoder.ctx == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  std::string file;
  spng_set_png_stream(encoder.ctx, AppendTo, &file);
  spng_set_option(encoder.ctx, SPNG_IMG_COMPRESSION_LEVEL, kCompressionLevel);
  spng_ihdr turned = ihdr;
  turned.width = page.width();
  turned.height = page.height();
  turned.interlace_method = SPNG_INTERLACE_NONE;
  r = spng_set_ihdr(encoder.ctx, &turned);
  if (r == 0) {
    CopyChunks(decoder.ctx, encoder.ctx, turning);
    r = spng_encode_image(encoder.ctx, nullptr, 0, SPNG_FMT_PNG,
                          SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  }
  for (uint32_t y = 0; r == 0 && y < page.height(); ++y) {
    r = spng_encode_row(encoder.ctx, page.Row(y), page.row_bytes());
  }
  if (r != SPNG_EOI && !(r == 0 && page.height() == 0)) {
    *error = std::string("cannot encode the turned image (") + spng_strerror(r) + ")";
    return nullptr;
  }
  return std::make_unique<TurnedBytes>(std::move(file));
}

}  // namespace quadturn::tool

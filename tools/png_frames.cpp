// Turning an animated PNG's frames: their control chunks restated, their
// data turned through whole PNG streams of their own.
#include "png_frames.h"

#include <algorithm>
#include <cstring>

#include "orientation.h"

namespace quadturn::tool {
namespace {

constexpr std::size_t kFrameControlBytes = 26;
// fdAT chunks hold at most this much each (any size up to 2^31 - 1 would do).
constexpr std::size_t kFrameDataPiece = std::size_t{1} << 20;

// A frame's place on the canvas.
struct Rect {
  uint32_t x = 0, y = 0, width = 0, height = 0;
};

// Where stored pixel (x, y) of a canvas of w x h goes under RotateFlip's
// `type` over rows from the top.
void TurnedPoint(int type, uint32_t w, uint32_t h, uint32_t* x, uint32_t* y) {
  const uint32_t sx = *x, sy = *y;
  switch (type) {
    case 1: *x = h - 1 - sy, *y = sx; break;           // a quarter turn clockwise
    case 2: *x = w - 1 - sx, *y = h - 1 - sy; break;   // a half turn
    case 3: *x = sy, *y = w - 1 - sx; break;           // three quarters
    case 4: *x = w - 1 - sx; break;                    // mirror
    case 5: *x = sy, *y = sx; break;                   // transpose
    case 6: *y = h - 1 - sy; break;                    // flip
    case 7: *x = h - 1 - sy, *y = w - 1 - sx; break;   // transverse
    default: break;
  }
}

Rect TurnedRect(int type, uint32_t w, uint32_t h, const Rect& r) {
  uint32_t x0 = r.x, y0 = r.y, x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
  TurnedPoint(type, w, h, &x0, &y0);
  TurnedPoint(type, w, h, &x1, &y1);
  const bool swap = SwapsAxes(type);
  return {std::min(x0, x1), std::min(y0, y1), swap ? r.height : r.width,
          swap ? r.width : r.height};
}

// A whole PNG stream of one frame: the file's header with the frame's size,
// its palette, the frame's data as IDAT.
std::string FrameStream(const std::string& header, const PngChunk* palette, const Rect& r,
                        const std::string& data) {
  std::string ihdr = header;
  PutPngU32(reinterpret_cast<uint8_t*>(&ihdr[0]), r.width);
  PutPngU32(reinterpret_cast<uint8_t*>(&ihdr[4]), r.height);
  std::string png = "\x89PNG\r\n\x1a\n";
  png += MakePngChunk("IHDR", ihdr, false).bytes;
  if (palette != nullptr) png += palette->bytes;
  png += MakePngChunk("IDAT", data, false).bytes;
  png += MakePngChunk("IEND", "", false).bytes;
  return png;
}

// A frame whose data is still being gathered: its fdAT chunks' data
// (sequence numbers left out), and where its turned chunks go.
struct PendingFrame {
  Rect rect;
  std::string data;
  std::size_t at = 0;  // in the new list of chunks
  bool open = false;
};

class FrameTurning {
 public:
  FrameTurning(const std::string& header, const PngChunk* palette, uint32_t width,
               uint32_t height, int type, const FrameTurner& turn)
      : header_(header), palette_(palette), width_(width), height_(height), type_(type),
        turn_(turn) {}

  bool Take(PngChunk c, std::string* error) {
    const std::string type = c.Type();
    if (!c.checksum_ok && (type == "acTL" || type == "fcTL" || type == "fdAT")) {
      *error = "damaged animated PNG (its '" + type + "' chunk's checksum is wrong)";
      return false;
    }
    if (type == "fcTL") return Finish(error) && Control(std::move(c), error);
    if (type == "fdAT") {
      if (!frame_.open || c.DataSize() < 4) {
        *error = "damaged animated PNG (frame data without a frame)";
        return false;
      }
      if (frame_.data.empty()) frame_.at = out_.size();
      frame_.data.append(reinterpret_cast<const char*>(c.Data()) + 4, c.DataSize() - 4);
      return true;
    }
    if (type == "acTL") c.turned = true;
    out_.push_back(std::move(c));
    return true;
  }

  // The frame being gathered, turned and put in its place.
  bool Finish(std::string* error) {
    if (!frame_.open) return true;
    frame_.open = false;
    if (frame_.data.empty()) {
      *error = "damaged animated PNG (a frame without data)";
      return false;
    }
    std::string turned, data;
    if (!turn_(FrameStream(header_, palette_, frame_.rect, frame_.data), &turned, error)) {
      *error = "an animation frame: " + *error;
      return false;
    }
    if (!PngChunkData(turned, "IDAT", &data)) {
      *error = "cannot encode an animation frame";
      return false;
    }
    std::vector<PngChunk> pieces;
    for (std::size_t at = 0; at < data.size(); at += kFrameDataPiece) {
      pieces.push_back(MakePngChunk("fdAT", std::string(4, '\0') + data.substr(at, kFrameDataPiece),
                                    true));
      pieces.back().turned = true;
    }
    out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(frame_.at),
                std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
    return true;
  }

  // The chunks in order, sequence numbers given again from 0.
  std::vector<PngChunk> Chunks() {
    uint32_t sequence = 0;
    for (PngChunk& c : out_) {
      if (c.turned && (c.Type() == "fcTL" || c.Type() == "fdAT")) {
        PutPngU32(c.Data(), sequence++);
        SetPngChecksum(&c);
      }
    }
    return std::move(out_);
  }

 private:
  // A frame's control chunk: its place checked and turned; a frame behind
  // the image data gathers the data that follows.
  bool Control(PngChunk c, std::string* error) {
    if (c.DataSize() != kFrameControlBytes) {
      *error = "damaged animated PNG (a frame control chunk of " + std::to_string(c.DataSize()) +
               " bytes)";
      return false;
    }
    uint8_t* d = c.Data();
    const Rect r{PngU32(d + 12), PngU32(d + 16), PngU32(d + 4), PngU32(d + 8)};
    if (r.width == 0 || r.height == 0 || r.x > width_ || r.width > width_ - r.x ||
        r.y > height_ || r.height > height_ - r.y) {
      *error = "damaged animated PNG (a frame of " + std::to_string(r.width) + " x " +
               std::to_string(r.height) + " at " + std::to_string(r.x) + ", " +
               std::to_string(r.y) + " outside the image)";
      return false;
    }
    const Rect t = TurnedRect(type_, width_, height_, r);
    PutPngU32(d + 4, t.width);
    PutPngU32(d + 8, t.height);
    PutPngU32(d + 12, t.x);
    PutPngU32(d + 16, t.y);
    c.turned = true;
    // A control chunk before the image data makes the image the first
    // frame: it has no data of its own.
    frame_ = PendingFrame{r, {}, out_.size() + 1, c.after_image};
    out_.push_back(std::move(c));
    return true;
  }

  const std::string& header_;
  const PngChunk* palette_;
  uint32_t width_, height_;
  int type_;
  const FrameTurner& turn_;
  PendingFrame frame_;
  std::vector<PngChunk> out_;
};

}  // namespace

bool TurnPngFrames(std::vector<PngChunk>* chunks, const std::string& header, uint32_t width,
                   uint32_t height, int stored_type, const FrameTurner& turn,
                   std::string* error) {
  const PngChunk* palette = nullptr;
  for (const PngChunk& c : *chunks) {
    if (c.Type() == "PLTE") palette = &c;
  }
  // The palette stays where it is while the frames are turned.
  const PngChunk palette_copy = palette != nullptr ? *palette : PngChunk{};
  FrameTurning frames(header, palette != nullptr ? &palette_copy : nullptr, width, height,
                      stored_type, turn);
  for (PngChunk& c : *chunks) {
    if (!frames.Take(std::move(c), error)) return false;
  }
  if (!frames.Finish(error)) return false;
  *chunks = frames.Chunks();
  return true;
}

}  // namespace quadturn::tool

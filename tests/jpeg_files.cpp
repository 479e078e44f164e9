// Writing JPEG files with libjpeg and reading back their DCT blocks, for the
// tool's tests.
#include "jpeg_files.h"

#include <cstdio>
#include <csetjmp>
#include <algorithm>
#include <cstring>
#include <utility>

#include <jpeglib.h>
#include <tiffio.h>
#include <unistd.h>

namespace quadturn::test {
namespace {

// libjpeg's errors end the call through longjmp, with the message kept.
struct Errors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};
void OnError(j_common_ptr c) {
  auto* e = reinterpret_cast<Errors*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}
void Quietly(j_common_ptr, int) {}

uint32_t Ceil(uint32_t n, uint32_t d) { return (n + d - 1) / d; }

}  // namespace

Bytes WriteJpeg(const JpegLayout& l, Rng& rng) {
  jpeg_compress_struct c;
  Errors errors;
  c.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnError;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&c);
    std::free(out);
    return {};
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = l.width;
  c.image_height = l.height;
  c.input_components = l.components;
  c.in_color_space = l.components == 1 ? JCS_GRAYSCALE : l.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  c.comp_info[0].h_samp_factor = l.components == 1 ? 1 : l.h;
  c.comp_info[0].v_samp_factor = l.components == 1 ? 1 : l.v;
  for (int k = 1; k < l.components; ++k) {
    c.comp_info[k].h_samp_factor = l.components == 4 ? l.h : 1;
    c.comp_info[k].v_samp_factor = l.components == 4 ? l.v : 1;
  }
  c.restart_interval = static_cast<unsigned>(l.restart_interval);
  c.write_JFIF_header = l.jfif ? TRUE : FALSE;
  c.density_unit = 1;
  c.X_density = l.x_density;
  c.Y_density = l.y_density;
  if (l.progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (const auto& [marker, data] : l.markers) {
    jpeg_write_marker(&c, marker, data.data(), static_cast<unsigned>(data.size()));
  }
  // Smooth content: a slowly drifting value per sample, with some noise.
  std::vector<JSAMPLE> row(static_cast<size_t>(l.width) * l.components);
  std::vector<int> drift(l.components, 128);
  while (c.next_scanline < c.image_height) {
    for (size_t k = 0; k < row.size(); ++k) {
      int& d = drift[k % l.components];
      d = std::min(255, std::max(0, d + rng.Below(9) - 4));
      row[k] = static_cast<JSAMPLE>(d);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes file(out, out + size);
  std::free(out);
  return file;
}

bool ReadJpegBlocks(const Bytes& file, JpegBlocks* b, std::string* error) {
  jpeg_decompress_struct d;
  Errors errors;
  d.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnError;
  errors.pub.emit_message = Quietly;
  if (setjmp(errors.jump)) {
    *error = errors.message;
    jpeg_destroy_decompress(&d);
    return false;
  }
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_save_markers(&d, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&d, JPEG_APP0 + m, 0xFFFF);
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  *b = JpegBlocks{};
  b->width = d.image_width;
  b->height = d.image_height;
  b->progressive = d.progressive_mode != 0;
  b->jfif = d.saw_JFIF_marker != 0;
  b->x_density = d.X_density;
  b->y_density = d.Y_density;
  for (jpeg_saved_marker_ptr m = d.marker_list; m != nullptr; m = m->next) {
    const bool jfif = m->marker == JPEG_APP0 && m->data_length >= 5 &&
                      std::memcmp(m->data, "JFIF\0", 5) == 0;
    if (!jfif) b->markers.emplace_back(m->marker, Bytes(m->data, m->data + m->data_length));
  }
  for (int ci = 0; ci < d.num_components; ++ci) {
    const jpeg_component_info& comp = d.comp_info[ci];
    // The blocks the component's samples cover (not the padding of a
    // partial MCU).
    const uint32_t h = d.num_components == 1 ? 1 : comp.h_samp_factor;
    const uint32_t v = d.num_components == 1 ? 1 : comp.v_samp_factor;
    const uint32_t hmax = d.num_components == 1 ? 1 : d.max_h_samp_factor;
    const uint32_t vmax = d.num_components == 1 ? 1 : d.max_v_samp_factor;
    JpegBlocks::Component c;
    c.h = static_cast<int>(h);
    c.v = static_cast<int>(v);
    b->max_h = static_cast<int>(hmax);
    b->max_v = static_cast<int>(vmax);
    c.blocks_wide = Ceil(Ceil(d.image_width * h, hmax), 8);
    c.blocks_high = Ceil(Ceil(d.image_height * v, vmax), 8);
    for (uint32_t y = 0; y < c.blocks_high; ++y) {
      JBLOCKARRAY row = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d),
                                                     arrays[ci], y, 1, FALSE);
      for (uint32_t x = 0; x < c.blocks_wide; ++x) {
        c.coefficients.insert(c.coefficients.end(), row[0][x], row[0][x] + DCTSIZE2);
      }
    }
    b->components.push_back(std::move(c));
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

JpegBlocks TurnedBlocks(const JpegBlocks& in, int type, uint32_t width, uint32_t height) {
  JpegBlocks out = in;
  const bool swap = type % 2 != 0;
  out.width = swap ? height : width;
  out.height = swap ? width : height;
  // Where a pixel of the result comes from: the axes exchanged, and which
  // source axis runs backwards.
  const bool reverse_x = type == 2 || type == 3 || type == 4 || type == 7;
  const bool reverse_y = type == 1 || type == 2 || type == 6 || type == 7;
  for (size_t ci = 0; ci < in.components.size(); ++ci) {
    const JpegBlocks::Component& src = in.components[ci];
    const uint32_t h = src.h, v = src.v, hmax = in.max_h, vmax = in.max_v;
    // The blocks of the source cut to width x height.
    const uint32_t bw = Ceil(Ceil(width * h, hmax), 8), bh = Ceil(Ceil(height * v, vmax), 8);
    JpegBlocks::Component& dst = out.components[ci];
    dst.blocks_wide = swap ? bh : bw;
    dst.blocks_high = swap ? bw : bh;
    // Exchanged axes exchange the sampling factors (4:2:2 becomes 4:4:0).
    if (swap) std::swap(dst.h, dst.v);
    dst.coefficients.assign(size_t{bw} * bh * 64, 0);
    for (uint32_t y = 0; y < dst.blocks_high; ++y) {
      for (uint32_t x = 0; x < dst.blocks_wide; ++x) {
        uint32_t sx = swap ? y : x, sy = swap ? x : y;
        if (reverse_x) sx = bw - 1 - sx;
        if (reverse_y) sy = bh - 1 - sy;
        const int16_t* from = &src.coefficients[(size_t{sy} * src.blocks_wide + sx) * 64];
        int16_t* to = &dst.coefficients[(size_t{y} * dst.blocks_wide + x) * 64];
        for (int fv = 0; fv < 8; ++fv) {
          for (int fu = 0; fu < 8; ++fu) {
            // Output frequency (fu across, fv down) from the source's.
            const int u = swap ? fv : fu, w = swap ? fu : fv;
            int value = from[w * 8 + u];
            if (reverse_x && u % 2 != 0) value = -value;
            if (reverse_y && w % 2 != 0) value = -value;
            to[fv * 8 + fu] = static_cast<int16_t>(value);
          }
        }
      }
    }
  }
  if (swap) {
    std::swap(out.x_density, out.y_density);
    std::swap(out.max_h, out.max_v);
  }
  return out;
}

bool ReadTiffJpegBlocks(const Bytes& tiff, JpegBlocks* page, std::string* error) {
  char path[] = "/tmp/quadturn-test-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, tiff.data(), tiff.size()) != static_cast<ssize_t>(tiff.size())) {
    *error = "cannot write a scratch file";
    return false;
  }
  close(fd);
  TIFF* tif = TIFFOpen(path, "r");
  unlink(path);
  if (tif == nullptr) {
    *error = "not a TIFF";
    return false;
  }
  uint32_t w = 0, h = 0, tw = 0, tl = 0, rows = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  const bool tiled = TIFFIsTiled(tif);
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
  uint32_t count = 0;
  void* data = nullptr;
  Bytes tables;
  if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &data) && count > 2) {
    tables.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + count - 2);
  }
  *page = JpegBlocks{};
  page->width = w;
  page->height = h;
  const uint32_t pieces = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  const uint32_t across = tiled ? (w + tw - 1) / tw : 1;
  bool ok = true;
  for (uint32_t k = 0; k < pieces && ok; ++k) {
    Bytes raw(static_cast<size_t>(TIFFGetStrileByteCount(tif, k)));
    ok = (tiled ? TIFFReadRawTile(tif, k, raw.data(), raw.size())
                : TIFFReadRawStrip(tif, k, raw.data(), raw.size())) > 2;
    Bytes stream = tables.empty() ? raw : tables;
    if (!tables.empty()) stream.insert(stream.end(), raw.begin() + 2, raw.end());
    JpegBlocks piece;
    ok = ok && ReadJpegBlocks(stream, &piece, error);
    if (!ok) break;
    if (page->components.empty()) {
      page->max_h = piece.max_h;
      page->max_v = piece.max_v;
      for (const auto& c : piece.components) {
        JpegBlocks::Component pc{c.h, c.v, Ceil(Ceil(w * c.h, piece.max_h), 8),
                                 Ceil(Ceil(h * c.v, piece.max_v), 8), {}};
        pc.coefficients.assign(size_t{pc.blocks_wide} * pc.blocks_high * 64, 0);
        page->components.push_back(std::move(pc));
      }
    }
    // The piece's place in pixels, then in each component's blocks.
    const uint32_t x = tiled ? k % across * tw : 0, y = tiled ? k / across * tl : k * rows;
    for (size_t ci = 0; ci < piece.components.size() && ci < page->components.size(); ++ci) {
      const auto& from = piece.components[ci];
      auto& to = page->components[ci];
      const uint32_t bx = Ceil(Ceil(x * to.h, page->max_h), 8);
      const uint32_t by = Ceil(Ceil(y * to.v, page->max_v), 8);
      for (uint32_t r = 0; r < from.blocks_high && by + r < to.blocks_high; ++r) {
        for (uint32_t q = 0; q < from.blocks_wide && bx + q < to.blocks_wide; ++q) {
          std::copy_n(&from.coefficients[(size_t{r} * from.blocks_wide + q) * 64], 64,
                      &to.coefficients[(size_t{by + r} * to.blocks_wide + bx + q) * 64]);
        }
      }
    }
  }
  TIFFClose(tif);
  if (!ok && error->empty()) *error = "cannot read a piece";
  return ok;
}

}  // namespace quadturn::test

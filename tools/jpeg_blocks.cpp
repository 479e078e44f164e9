// JPEG-compressed TIFF pages as DCT blocks, through libjpeg's coefficient
// interface. libjpeg reports errors by longjmp: the functions that call it
// keep no object with a destructor in their own frames.
#include "jpeg_blocks.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

namespace quadturn::tool {
namespace {

struct Errors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr c) {
  auto* e = reinterpret_cast<Errors*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

// A warning (damaged data read past) fails the piece: a page is turned
// from data that is whole, or not at all.
void OnMessage(j_common_ptr c, int level) {
  if (level < 0) OnError(c);
}

uint32_t Ceil(uint64_t n, uint64_t d) { return static_cast<uint32_t>((n + d - 1) / d); }

// The blocks a component has in an image of w x h pixels.
uint32_t BlocksWide(const JpegPage& p, const JpegPage::Component& c, uint32_t w) {
  return Ceil(Ceil(uint64_t{w} * c.h, p.max_h), 8);
}
uint32_t BlocksHigh(const JpegPage& p, const JpegPage::Component& c, uint32_t h) {
  return Ceil(Ceil(uint64_t{h} * c.v, p.max_v), 8);
}

// The colour space a compressor takes in for a stream's.
J_COLOR_SPACE InputSpace(int stream) {
  switch (stream) {
    case JCS_GRAYSCALE: return JCS_GRAYSCALE;
    case JCS_CMYK: case JCS_YCCK: return JCS_CMYK;
    default: return JCS_RGB;
  }
}

// A compressor set up for w x h pixels of the page: its colour space,
// components, sampling and quantization tables; standard Huffman tables;
// no JFIF or Adobe segment (a TIFF says what they would).
void SetUp(const JpegPage& page, uint32_t w, uint32_t h, jpeg_compress_struct* c) {
  c->image_width = w;
  c->image_height = h;
  c->input_components = static_cast<int>(page.components.size());
  c->in_color_space = InputSpace(page.colour_space);
  jpeg_set_defaults(c);
  jpeg_set_colorspace(c, static_cast<J_COLOR_SPACE>(page.colour_space));
  c->write_JFIF_header = FALSE;
  c->write_Adobe_marker = FALSE;
  c->optimize_coding = FALSE;
  for (std::size_t k = 0; k < page.components.size(); ++k) {
    const JpegPage::Component& from = page.components[k];
    jpeg_component_info& to = c->comp_info[k];
    to.component_id = from.id;
    to.h_samp_factor = from.h;
    to.v_samp_factor = from.v;
    to.quant_tbl_no = from.table;
  }
  for (int t = 0; t < 4; ++t) {
    if (!page.has_table[t]) {
      c->quant_tbl_ptrs[t] = nullptr;
      continue;
    }
    if (c->quant_tbl_ptrs[t] == nullptr) {
      c->quant_tbl_ptrs[t] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(c));
    }
    std::memcpy(c->quant_tbl_ptrs[t]->quantval, page.tables[t], sizeof page.tables[t]);
    c->quant_tbl_ptrs[t]->sent_table = FALSE;
  }
}

// A compressor set up for w x h pixels of the page, given to `write`; what
// it wrote goes to `out`. False with libjpeg's reason.
template <typename Write>
bool Compress(const JpegPage& page, uint32_t w, uint32_t h, Write write, std::string* out,
              std::string* error) {
  jpeg_compress_struct c;
  Errors e;
  c.err = jpeg_std_error(&e.pub);
  e.pub.error_exit = OnError;
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  if (setjmp(e.jump)) {
    jpeg_destroy_compress(&c);
    std::free(bytes);
    *error = e.message;
    return false;
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &bytes, &size);
  SetUp(page, w, h, &c);
  write(&c);
  jpeg_destroy_compress(&c);
  out->assign(reinterpret_cast<const char*>(bytes), size);
  std::free(bytes);
  return true;
}

// The page's shape, colour space, sampling and tables, from its first
// piece's header, with room for all its blocks.
void ShapePage(const jpeg_decompress_struct& d, uint32_t width, uint32_t height, JpegPage* page) {
  page->width = width;
  page->height = height;
  page->colour_space = d.jpeg_color_space;
  page->max_h = d.num_components == 1 ? 1 : d.max_h_samp_factor;
  page->max_v = d.num_components == 1 ? 1 : d.max_v_samp_factor;
  for (int t = 0; t < 4; ++t) {
    page->has_table[t] = d.quant_tbl_ptrs[t] != nullptr;
    if (page->has_table[t]) {
      std::memcpy(page->tables[t], d.quant_tbl_ptrs[t]->quantval, sizeof page->tables[t]);
    }
  }
  page->components.resize(static_cast<std::size_t>(d.num_components));
  for (int k = 0; k < d.num_components; ++k) {
    JpegPage::Component& c = page->components[static_cast<std::size_t>(k)];
    c.id = d.comp_info[k].component_id;
    c.h = d.num_components == 1 ? 1 : d.comp_info[k].h_samp_factor;
    c.v = d.num_components == 1 ? 1 : d.comp_info[k].v_samp_factor;
    c.table = d.comp_info[k].quant_tbl_no;
    c.blocks_wide = BlocksWide(*page, c, width);
    c.blocks_high = BlocksHigh(*page, c, height);
    c.coefficients.assign(std::size_t{c.blocks_wide} * c.blocks_high * 64, 0);
  }
}

// Whether a piece is coded as the first: its place's size, one colour
// space, sampling and set of tables.
bool CodedAlike(const jpeg_decompress_struct& d, uint32_t frame_width, uint32_t frame_height,
                const JpegPage& page) {
  bool same = d.image_width == frame_width && d.image_height == frame_height &&
              d.jpeg_color_space == page.colour_space &&
              d.num_components == static_cast<int>(page.components.size());
  for (int k = 0; same && k < d.num_components; ++k) {
    const JpegPage::Component& c = page.components[static_cast<std::size_t>(k)];
    same = d.num_components == 1 || (d.comp_info[k].h_samp_factor == c.h &&
                                     d.comp_info[k].v_samp_factor == c.v);
    const JQUANT_TBL* t = d.comp_info[k].quant_table;
    same = same && t != nullptr && page.has_table[c.table] &&
           std::memcmp(t->quantval, page.tables[c.table], sizeof page.tables[c.table]) == 0;
  }
  return same;
}

// A piece's blocks into the page's, at (x, y) (whole MCUs); blocks past the
// page's edge are left out.
void CopyBlocks(jpeg_decompress_struct& d, jvirt_barray_ptr* arrays, uint32_t x, uint32_t y,
                JpegPage* page) {
  for (int k = 0; k < d.num_components; ++k) {
    JpegPage::Component& c = page->components[static_cast<std::size_t>(k)];
    const jpeg_component_info& info = d.comp_info[k];
    const uint32_t bx = BlocksWide(*page, c, x), by = BlocksHigh(*page, c, y);
    for (JDIMENSION row = 0; row < info.height_in_blocks && by + row < c.blocks_high; ++row) {
      JBLOCKARRAY blocks = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d),
                                                        arrays[k], row, 1, FALSE);
      const uint32_t n_blocks = std::min<uint32_t>(info.width_in_blocks, c.blocks_wide - bx);
      std::memcpy(&c.coefficients[(std::size_t{by + row} * c.blocks_wide + bx) * 64], blocks[0],
                  std::size_t{n_blocks} * 64 * sizeof(JCOEF));
    }
  }
}

}  // namespace

bool ReadJpegPiece(const std::string& tables, const uint8_t* piece, std::size_t n, uint32_t x,
                   uint32_t y, uint32_t frame_width, uint32_t frame_height, uint32_t width,
                   uint32_t height, JpegPage* page, std::string* error) {
  jpeg_decompress_struct d;
  Errors e;
  d.err = jpeg_std_error(&e.pub);
  e.pub.error_exit = OnError;
  e.pub.emit_message = OnMessage;
  if (setjmp(e.jump)) {
    jpeg_destroy_decompress(&d);
    *error = e.message;
    return false;
  }
  jpeg_create_decompress(&d);
  if (!tables.empty()) {
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(tables.data()),
                 static_cast<unsigned long>(tables.size()));
    jpeg_read_header(&d, FALSE);
  }
  jpeg_mem_src(&d, piece, static_cast<unsigned long>(n));
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  if (page->components.empty()) ShapePage(d, width, height, page);
  if (!CodedAlike(d, frame_width, frame_height, *page)) {
    jpeg_destroy_decompress(&d);
    *error = "its strips or tiles are not coded alike (size, colour space, sampling, tables)";
    return false;
  }
  CopyBlocks(d, arrays, x, y, page);
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

JpegPage TurnJpegBlocks(const JpegPage& in, int type, uint32_t width, uint32_t height) {
  const bool swap = (type & 1) != 0;
  const bool reverse_x = type == 2 || type == 3 || type == 4 || type == 7;
  const bool reverse_y = type == 1 || type == 2 || type == 6 || type == 7;
  JpegPage out = in;
  out.width = swap ? height : width;
  out.height = swap ? width : height;
  if (swap) {
    std::swap(out.max_h, out.max_v);
    // Quantization tables follow the coefficients they scale.
    for (int t = 0; t < 4; ++t) {
      for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) out.tables[t][v * 8 + u] = in.tables[t][u * 8 + v];
      }
    }
  }
  for (std::size_t k = 0; k < in.components.size(); ++k) {
    const JpegPage::Component& src = in.components[k];
    JpegPage::Component& dst = out.components[k];
    if (swap) std::swap(dst.h, dst.v);
    // The source's blocks cut to width x height.
    const uint32_t bw = BlocksWide(in, src, width), bh = BlocksHigh(in, src, height);
    dst.blocks_wide = swap ? bh : bw;
    dst.blocks_high = swap ? bw : bh;
    dst.coefficients.assign(std::size_t{bw} * bh * 64, 0);
    for (uint32_t y = 0; y < dst.blocks_high; ++y) {
      for (uint32_t x = 0; x < dst.blocks_wide; ++x) {
        uint32_t sx = swap ? y : x, sy = swap ? x : y;
        if (reverse_x) sx = bw - 1 - sx;
        if (reverse_y) sy = bh - 1 - sy;
        const int16_t* from = &src.coefficients[(std::size_t{sy} * src.blocks_wide + sx) * 64];
        int16_t* to = &dst.coefficients[(std::size_t{y} * dst.blocks_wide + x) * 64];
        // Reversing an axis negates its odd frequencies; exchanging the
        // axes transposes the block.
        for (int fv = 0; fv < 8; ++fv) {
          for (int fu = 0; fu < 8; ++fu) {
            const int u = swap ? fv : fu, w = swap ? fu : fv;
            int value = from[w * 8 + u];
            if ((reverse_x && u % 2 != 0) != (reverse_y && w % 2 != 0)) value = -value;
            to[fv * 8 + fu] = static_cast<int16_t>(value);
          }
        }
      }
    }
  }
  return out;
}

bool WriteJpegTables(const JpegPage& page, std::string* out, std::string* error) {
  return Compress(page, 8, 8, [](jpeg_compress_struct* c) { jpeg_write_tables(c); }, out, error);
}

bool WriteJpegPiece(const JpegPage& page, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                    std::string* out, std::string* error) {
  return Compress(page, w, h, [&](jpeg_compress_struct* c) {
    // Arrays as the coefficient writer walks them: whole MCU rows and
    // columns, the padding zero.
    jvirt_barray_ptr arrays[MAX_COMPONENTS];
    for (std::size_t k = 0; k < page.components.size(); ++k) {
      const JpegPage::Component& comp = page.components[k];
      const uint32_t wide = BlocksWide(page, comp, w), high = BlocksHigh(page, comp, h);
      arrays[k] = (*c->mem->request_virt_barray)(
          reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE, TRUE,
          Ceil(wide, static_cast<uint32_t>(comp.h)) * static_cast<uint32_t>(comp.h),
          Ceil(high, static_cast<uint32_t>(comp.v)) * static_cast<uint32_t>(comp.v),
          static_cast<JDIMENSION>(comp.v));
    }
    jpeg_write_coefficients(c, arrays);
    // The tables are the page's (its JPEGTables): not repeated in the piece.
    jpeg_suppress_tables(c, TRUE);
    for (std::size_t k = 0; k < page.components.size(); ++k) {
      const JpegPage::Component& comp = page.components[k];
      const uint32_t wide = BlocksWide(page, comp, w), high = BlocksHigh(page, comp, h);
      const uint32_t bx = BlocksWide(page, comp, x), by = BlocksHigh(page, comp, y);
      for (uint32_t row = 0; row < high && by + row < comp.blocks_high && bx < comp.blocks_wide;
           ++row) {
        JBLOCKARRAY blocks = (*c->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(c),
                                                           arrays[k], row, 1, TRUE);
        const uint32_t n = std::min(wide, comp.blocks_wide - bx);
        std::memcpy(blocks[0],
                    &comp.coefficients[(std::size_t{by + row} * comp.blocks_wide + bx) * 64],
                    std::size_t{n} * 64 * sizeof(JCOEF));
      }
    }
    jpeg_finish_compress(c);
  }, out, error);
}

}  // namespace quadturn::tool

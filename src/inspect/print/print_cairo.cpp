#include <cairo-pdf.h>
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <memory>

#include "inspect/failure.hpp"
#include "inspect/print/print.hpp"

namespace kestrel::inspect {

namespace {

struct HandleFree {
  void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Handle = std::unique_ptr<RsvgHandle, HandleFree>;
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using Context = std::unique_ptr<cairo_t, ContextFree>;

// The document read by librsvg, and its size in px.
Handle parsed(std::string_view svg, double& width, double& height) {
  GError* error = nullptr;
  Handle h(rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error));
  if (!h) {
    const std::string why = error != nullptr ? error->message : "unknown";
    if (error != nullptr) g_error_free(error);
    throw Failure("the map could not be drawn: " + why);
  }
  gdouble w = 0, hh = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(h.get(), &w, &hh)) w = 900, hh = 760;
  width = w, height = hh;
  return h;
}

void render(RsvgHandle* h, cairo_t* cr, double width, double height) {
  const RsvgRectangle viewport{0, 0, width, height};
  GError* error = nullptr;
  if (!rsvg_handle_render_document(h, cr, &viewport, &error)) {
    const std::string why = error != nullptr ? error->message : "unknown";
    if (error != nullptr) g_error_free(error);
    throw Failure("the map could not be drawn: " + why);
  }
}

cairo_status_t append(void* to, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(to)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool print_available() { return true; }

std::string png_of(std::string_view svg, int dpi) {
  double width = 0, height = 0;
  const Handle h = parsed(svg, width, height);
  const double scale = dpi / 96.0;
  const int w = static_cast<int>(std::ceil(width * scale)), ht = static_cast<int>(std::ceil(height * scale));
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, ht));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    throw Failure("no memory for a PNG of " + std::to_string(w) + " x " + std::to_string(ht) + " pixels");
  }
  {
    const Context cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_scale(cr.get(), scale, scale);
    render(h.get(), cr.get(), width, height);
  }
  std::string png;
  if (cairo_surface_write_to_png_stream(surface.get(), append, &png) != CAIRO_STATUS_SUCCESS) {
    throw Failure("the PNG could not be encoded");
  }
  return png;
}

std::string pdf_of(std::string_view svg) {
  double width = 0, height = 0;
  const Handle h = parsed(svg, width, height);
  std::string pdf;
  {
    // A PDF's unit is the point, 1/72 inch: the SVG's px are 3/4 of one.
    Surface surface(cairo_pdf_surface_create_for_stream(append, &pdf, width * 0.75, height * 0.75));
    const Context cr(cairo_create(surface.get()));
    cairo_scale(cr.get(), 0.75, 0.75);
    render(h.get(), cr.get(), width, height);
    cairo_show_page(cr.get());
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw Failure("the PDF could not be written");
  }
  return pdf;
}

}  // namespace kestrel::inspect

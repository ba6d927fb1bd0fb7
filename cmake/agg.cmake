# AGG 2.4 as a static library, compiled from the sources scripts/setup fetches.
set(VELLORA_AGG_DIR "${PROJECT_SOURCE_DIR}/.deps/agg" CACHE PATH "AGG 2.4 source tree")
if(NOT EXISTS "${VELLORA_AGG_DIR}/include/agg_span_image_filter_rgba.h")
  message(FATAL_ERROR
    "AGG 2.4 sources not found in ${VELLORA_AGG_DIR}.\n"
    "Run scripts/setup (it fetches them from Debian's mapnik source package), "
    "or point -DVELLORA_AGG_DIR at an AGG 2.4 tree with include/ and src/.")
endif()
set(_agg_sources
  agg_arc.cpp agg_bezier_arc.cpp agg_curves.cpp agg_image_filters.cpp
  agg_line_aa_basics.cpp agg_rounded_rect.cpp agg_sqrt_tables.cpp
  agg_trans_affine.cpp agg_vcgen_contour.cpp agg_vcgen_dash.cpp agg_vcgen_stroke.cpp
  agg_vpgen_clip_polygon.cpp agg_vpgen_clip_polyline.cpp agg_vpgen_segmentator.cpp)
list(TRANSFORM _agg_sources PREPEND "${VELLORA_AGG_DIR}/src/")
add_library(vellora_agg STATIC ${_agg_sources})
target_include_directories(vellora_agg SYSTEM PUBLIC
  "${VELLORA_AGG_DIR}/include" "${PROJECT_SOURCE_DIR}/cmake/agg-shim")
set_target_properties(vellora_agg PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(vellora_agg PRIVATE -w)

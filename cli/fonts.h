#pragma once

#include "metafile.h"

namespace vellora::cli {

// Whether drawing the metafile may need fonts: it has text records.
bool drawsText(const Scan &scan);

// Finding the installed fonts costs a few milliseconds at the first text a
// process draws. Begun on a spare core as soon as a file is known to hold
// text, it overlaps reading the file and preparing the canvases. At most
// one load runs per process; `finishLoadingFonts` waits for it and must be
// called before the process exits.
void startLoadingFonts();
void finishLoadingFonts();

}  // namespace vellora::cli

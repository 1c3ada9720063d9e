// The captions table read from the pages' own controls, so that it follows them.
#pragma once
#include "Captions.h"

#include <vector>

class TFPage;

// Loads every page once and reads its bindings, the routing page's grid columns
// and the service page's identification lines; the caller reloads the shown page.
CCaptions CaptionsFromPages(const std::vector<TFPage*>& pages);

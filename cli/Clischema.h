// What each setting allows, from the catalogue and the pages' captions: the
// `schema` command, and the choices of list settings for refusals.
#pragma once
#include "Strictvalues.h"

#include <string>

// The items of a list setting with their captions in the loaded language
// (none for other settings, and numbers only when no language is loaded).
TChoices ChoicesOf(const std::string& key);

// Prints every setting (tab-separated lines, or JSON fields in the report).
int RunSchema(bool json);

// Offers a text for pasting elsewhere. Every failure is silent.
#pragma once
#include <string>

void copy_to_clipboard(const std::string& text);

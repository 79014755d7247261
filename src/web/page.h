// The operator display's page: plain HTML, CSS and JavaScript built into the program from
// src/web/page/index.html; it loads nothing else.
#pragma once

#include <string_view>

namespace tabulo::web {

std::string_view Page();

}  // namespace tabulo::web

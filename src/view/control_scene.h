// The scene of a hosted control: its grid, scroll bar, status bar and open editor, as the
// text renderer draws them.
#pragma once

#include "control/tabulo_ctl.h"
#include "view/text_renderer.h"

namespace tabulo::view {

Scene SceneOf(const control::TabuloCtl& ctl);

// The control rendered as text.
std::string RenderControl(const control::TabuloCtl& ctl, const RenderOptions& options = {});

}  // namespace tabulo::view

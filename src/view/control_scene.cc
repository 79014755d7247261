#include "view/control_scene.h"

namespace tabulo::view {

Scene SceneOf(const control::TabuloCtl& ctl) {
  Scene scene;
  scene.grid = &ctl.Grid;
  scene.changed = ctl.ChangedGridCells();
  scene.width = ctl.ScaleWidth();
  const platform::VScrollBar& bar = ctl.ScrollBar.InnerBar();
  scene.scroll_bar =
      ScrollBarState{bar.min(), bar.max(), bar.value(), ctl.ScrollBar.visible(), bar.enabled()};
  StatusBarState status;
  status.visible = ctl.sBar.visible();
  for (int32_t i = 1; i <= ctl.sBar.PanelCount(); ++i) {
    const platform::Panel& p = ctl.sBar.Panels(i);
    status.panels.push_back(StatusPanelState{p.text(), static_cast<double>(p.width())});
  }
  scene.status_bar = status;
  if (ctl.txtEdit.visible()) {
    scene.editor =
        EditorState{ctl.txtEdit.left(),      ctl.txtEdit.top(),       ctl.txtEdit.width(),
                    ctl.txtEdit.height(),    ctl.txtEdit.text(),      true,
                    ctl.txtEdit.sel_start(), ctl.txtEdit.sel_length()};
  }
  return scene;
}

std::string RenderControl(const control::TabuloCtl& ctl, const RenderOptions& options) {
  return RenderText(SceneOf(ctl), options);
}

}  // namespace tabulo::view

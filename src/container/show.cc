// One showing of a control (show.h).
#include "container/show.h"

#include "platform/runtime/container.h"
#include "querybuilder/query_builder.h"
#include "view/control_scene.h"

namespace tabulo::container {

ShowResult Show(const ShowRequest& request) {
  ShowResult result;
  Session session(request.session);
  control::TabuloCtl& ctl = session.NewControl();
  ctl.SetDSNname(request.db);
  ctl.SetRecordSource(request.sql);
  if (!request.edits.empty()) {
    bool sign = false;
    for (const OperatorAnswer& answer : request.answers)
      sign |= answer.kind == OperatorAnswer::Sign || answer.kind == OperatorAnswer::Cancel;
    // The statements update DataTable; by default the table the statement reads, as a
    // designer's query builder finds it.
    std::string table = request.table;
    if (table.empty()) {
      querybuilder::frmQueryBuilder builder;
      builder.SetSql(request.sql);
      table = builder.FromPart();
    }
    if (table.empty()) {
      result.outcome = ShowResult::NoTable;
      return result;
    }
    ctl.SetDataTable(table);
    ctl.SetAllowUpdates(true);
    ctl.SetConfirmUpdates(!request.answers.empty());
    ctl.ESignatureRequired = sign;
    ctl.LogEvent = request.log_event;
  }
  session.SetRunMode(true);
  session.Run(250);  // the first tick of the refresh timer loads the data
  if (request.at >= 0) {
    ctl.ScrollBar.SetValue(static_cast<int32_t>(request.at));
    session.Run(0);
  }
  platform::HeadlessContainer& container = session.container();
  if (!container.message_boxes().empty()) {
    result.outcome = ShowResult::LoadFailed;
    result.messages = container.message_boxes();
    return result;
  }
  for (const OperatorAnswer& answer : request.answers) {
    switch (answer.kind) {
      case OperatorAnswer::Yes:
        container.QueueAnswer(platform::kIdYes);
        break;
      case OperatorAnswer::No:
        container.QueueAnswer(platform::kIdNo);
        break;
      case OperatorAnswer::Cancel:
        container.QueueDialogAnswer(platform::DialogAnswer::Cancel());
        break;
      case OperatorAnswer::Sign:
        container.QueueDialogAnswer(platform::DialogAnswer::Ok(
            platform::Variant(true),
            {platform::Variant(answer.user), platform::Variant(answer.password),
             platform::Variant(answer.reason)}));
        break;
    }
  }
  for (const CellEdit& edit : request.edits) EditCell(session, ctl, edit);
  result.messages = container.message_boxes();
  result.unused_answers = container.pending_answers() + container.pending_dialog_answers();
  result.rendering = view::RenderControl(ctl);
  return result;
}

}  // namespace tabulo::container

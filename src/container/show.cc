// One showing of a control (show.h).
#include "container/show.h"

#include "container/script/input.h"
#include "platform/runtime/container.h"
#include "platform/text/text.h"
#include "platform/widgets/key_codes.h"
#include "querybuilder/query_builder.h"
#include "view/control_scene.h"

namespace tabulo::container {
namespace {

// Follows which of the operator's answers the control has taken so far.
struct AnswerCursor {
  const std::vector<OperatorAnswer>& answers;
  platform::HeadlessContainer& container;
  size_t boxes_taken = 0, dialogs_taken = 0;
  bool cancelled = false, signed_now = false;

  // Takes the answers the last edit used; true when one of them declined the update.
  bool Consume() {
    bool declined = false;
    cancelled = signed_now = false;
    size_t boxes = 0, dialogs = 0;
    for (const OperatorAnswer& a : answers) (IsDialog(a) ? dialogs : boxes) += 1;
    const size_t boxes_now = boxes - container.pending_answers();
    const size_t dialogs_now = dialogs - container.pending_dialog_answers();
    size_t box = 0, dialog = 0;
    for (const OperatorAnswer& a : answers) {
      const size_t index = IsDialog(a) ? dialog++ : box++;
      const bool taken_now = IsDialog(a) ? index >= dialogs_taken && index < dialogs_now
                                         : index >= boxes_taken && index < boxes_now;
      if (!taken_now) continue;
      if (a.kind == OperatorAnswer::No) declined = true;
      if (a.kind == OperatorAnswer::Cancel) declined = cancelled = true;
      if (a.kind == OperatorAnswer::Sign) signed_now = true;
    }
    boxes_taken = boxes_now;
    dialogs_taken = dialogs_now;
    return declined;
  }
  static bool IsDialog(const OperatorAnswer& a) {
    return a.kind == OperatorAnswer::Sign || a.kind == OperatorAnswer::Cancel;
  }
};

}  // namespace

ShowResult Show(const ShowRequest& request) {
  ShowResult result;
  // As the control decides what it loads.
  if (platform::Utf8Left(platform::UCase(platform::Trim(request.sql)), 7) != "SELECT ") {
    result.outcome = ShowResult::NotBrowsed;
    return result;
  }
  Session session(request.session);
  control::TabuloCtl& ctl = session.NewControl();
  if (request.server_type != 0) {
    ctl.SetServerType(request.server_type);
    ctl.SetDatabase(request.database);
  }
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
  ApplyPropertySettings(ctl, request.settings);
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
    result.server_error = session.host().writes->last_error;
    if (request.server_type == 0)
      result.missing_database = MissingDatabaseNote(session.host().config, request.db);
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
  AnswerCursor cursor{request.answers, container};
  for (const CellEdit& edit : request.edits) {
    const int64_t writes = session.host().writes->writes;
    const size_t boxes = container.message_boxes().size();
    EditCell(session, ctl, edit);
    bool refused = false;
    if (EditorIsOpen(ctl.txtEdit)) {
      // A refused value: the operator gives up on it, as with Escape at the display.
      refused = true;
      ctl.txtEdit.PressKey(platform::kKeyEscape);
      session.Run(0);
    }
    const bool not_confirmed = cursor.Consume();
    if (session.host().writes->writes > writes) continue;
    std::string why = refused ? "the value was refused" : "nothing was written";
    if (!refused && not_confirmed)
      why = cursor.cancelled ? "the signature was cancelled" : "the update was not confirmed";
    else if (!refused && cursor.signed_now)
      why = "the signature was refused";
    if (container.message_boxes().size() > boxes)
      why += " (" + container.message_boxes()[boxes].text + ")";
    result.unwritten.push_back("--edit " + std::to_string(edit.record) + "," +
                               std::to_string(edit.column) + ": " + why);
  }
  result.messages = container.message_boxes();
  result.unused_answers = container.pending_answers() + container.pending_dialog_answers();
  result.rendering = view::RenderControl(ctl);
  return result;
}

}  // namespace tabulo::container

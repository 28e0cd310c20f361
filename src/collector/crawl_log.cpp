#include "collector/crawl_log.h"

#include "platform/window_layout.h"

namespace pelvaro {

void AppendLog(Form& form, const Text& line) { form.appendLine(main_window::kLog, line); }

void AppendLogText(Form& form, std::string_view utf8) { AppendLog(form, Gbk(utf8)); }

}  // namespace pelvaro

#include "collector/categories.h"

#include "collector/collection_service.h"
#include "collector/log_texts.h"
#include "collector/platform_api.h"
#include "platform/hosts.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "web/web_request.h"

namespace pelvaro {

namespace mw = main_window;

std::vector<Text> SplitCategoryList(const Text& list) {
  static constexpr std::string_view kLineEnd = "\r\n";
  std::vector<Text> lines;
  std::size_t start = 0;
  while (start < list.size()) {
    const std::size_t end = list.find(kLineEnd, start);
    if (end == Text::npos) {
      lines.push_back(list.substr(start));
      break;
    }
    lines.push_back(list.substr(start, end - start));
    start = end + kLineEnd.size();
  }
  return lines;
}

Text FetchCategoryList() {
  Text list = QueryCollectionService("all");
  if (!list.empty() || StopRequested()) return list;
  WebRequestOptions options;
  WebResult result;
  return WebRequest("http://" + HostAddress(Host::VendorList) + "/list.txt", options, result);
}

void FillCategoryBox(Form& form, const std::vector<Text>& categories) {
  form.clearItems(mw::kCategoryBox);
  form.addItem(mw::kCategoryBox, Gbk(collector_text::kAllCategories));
  for (const Text& category : categories) form.addItem(mw::kCategoryBox, category);
  form.setCurrentIndex(mw::kCategoryBox, 0);
}

void LoadCategoryList(Form& form) {
  const Text list = FetchCategoryList();
  if (StopRequested()) return;
  FillCategoryBox(form, SplitCategoryList(list));
}

void AddSelectedToIndexQueue(Form& form) {
  const RowHandle row = form.selectedRow(mw::kVideoList);
  form.setText(mw::kSeedLink, ArticleLink(form.cell(mw::kVideoList, row, mw::kColDocid)));
}

void ClearVideoList(Form& form) { form.clearRows(mw::kVideoList); }

void CancelContextMenu(Form&) {}

void RunContextMenuItem(Form& form, std::string_view item) {
  const auto items = ContextMenuItems();
  if (item == items[0]) {
    AddSelectedToIndexQueue(form);
  } else if (item == items[1]) {
    ClearVideoList(form);
  } else if (item == items[2]) {
    CancelContextMenu(form);
  }
}

}  // namespace pelvaro

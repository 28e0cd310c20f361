#pragma once
// The category box and the list view's context menu. The categories are not built in: they
// come from the collection service when the main window opens, or from the list host's plain
// list file when the service gives nothing.

#include <string_view>
#include <vector>

#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

// The lines of a category list: split at every CR LF; an empty line between two CR LFs is an
// empty item, a final CR LF adds none, and an empty list has no lines. Nothing else (a lone CR
// or LF) separates lines.
std::vector<Text> SplitCategoryList(const Text& list);

// The category list text as a source sent it: the collection service's answer to "all", or,
// when that is empty, the body of "/list.txt" on the list host. Empty when both fail. The
// reply is not examined: a body sent with an error status counts as a list.
Text FetchCategoryList();

// Replaces the items of the category box with "所有类目" and then one item per line, and
// selects "所有类目".
void FillCategoryBox(Form& form, const std::vector<Text>& categories);

// The category loader: fetch, split, fill. Runs on a worker of its own when the main window
// has been created; a stop ends it without touching the box.
void LoadCategoryList(Form& form);

// Context menu of the video list. "加入索引序列": the article link of the docid in the selected
// row becomes the whole content of the seed-link box (no selection reads an empty docid).
void AddSelectedToIndexQueue(Form& form);
// "清空列表": deletes every row of the video list.
void ClearVideoList(Form& form);
// "取消操作": the menu closes and nothing else happens.
void CancelContextMenu(Form& form);

// Runs the action of a context-menu item given by its text (UTF-8, as ContextMenuItems() lists
// them); an unknown item does nothing.
void RunContextMenuItem(Form& form, std::string_view item);

}  // namespace pelvaro

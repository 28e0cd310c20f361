// The category box filled from the collection service, or from the list host when the service
// gives nothing, against the simulator.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <stop_token>

#include "collector/categories.h"
#include "e2e/e2e_names.h"
#include "platform/hosts.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "support/refused_port.h"
#include "support/sim_process.h"
#include "web/web_request.h"

namespace pelvaro::e2e {
namespace {

// The box's items after "所有类目", joined the way the list file holds them.
Text ItemsAsList(MemoryForm& form) {
  Text list;
  for (int i = 1; i < form.itemCount(mw::kCategoryBox); ++i)
    list += form.itemText(mw::kCategoryBox, i) + "\r\n";
  return list;
}

TEST(CategoryList, ServiceThenListHostThenAllCategoriesAlone) {
  enum class Api { Answers, Empty, Refused };
  const struct {
    const char* name;
    Api api;
    bool listHost;
    bool expectList;
  } cases[] = {
      {"service answers", Api::Answers, true, true},
      {"service empty, list host answers", Api::Empty, true, true},
      {"service refused, list host answers", Api::Refused, true, true},
      {"service empty, list host refused", Api::Empty, false, false},
      {"both refused", Api::Refused, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimProcess sim(c.api == Api::Empty ? std::vector<std::string>{"--no-category-service"}
                                       : std::vector<std::string>{});
    ASSERT_TRUE(sim.started());
    // The list file as the list host serves it: the same lines the service sends for "all".
    const Text served = WebRequest("http://" + HostAddress(Host::VendorList) + "/list.txt");
    ASSERT_FALSE(served.empty());
    const auto before = sim.requests("vendor_list").size();

    RefusedPort refused;
    if (c.api == Api::Refused) setenv("PELVARO_VENDOR_API_HOST", refused.address().c_str(), 1);
    if (!c.listHost) setenv("PELVARO_VENDOR_LIST_HOST", refused.address().c_str(), 1);

    auto form = MemoryForm::MainWindow();
    form->addItem(mw::kCategoryBox, "stale");
    Worker loader;
    loader.Start([&form] { LoadCategoryList(*form); });
    loader.Join();

    ASSERT_GE(form->itemCount(mw::kCategoryBox), 1);
    EXPECT_EQ(form->itemText(mw::kCategoryBox, 0), Gbk("所有类目"));
    EXPECT_EQ(form->currentIndex(mw::kCategoryBox), 0);
    EXPECT_EQ(ItemsAsList(*form), c.expectList ? served : Text());
    if (c.expectList) {
      EXPECT_EQ(form->itemText(mw::kCategoryBox, 1), Gbk("娱乐"));
    }

    // The service is asked for "all" first; the list host only when the service gave nothing.
    const auto api = sim.requests("vendor_api");
    if (c.api != Api::Refused) {
      ASSERT_EQ(api.size(), 1u);
      EXPECT_EQ(api[0]["target"], "/pelvaro?leimu=%61%6C%6C&id=&del=");
    }
    const auto list = sim.requests("vendor_list");
    EXPECT_EQ(list.size() - before, c.api == Api::Answers || !c.listHost ? 0u : 1u);
  }
}

TEST(CategoryList, StoppedLoaderLeavesTheBoxAlone) {
  SimProcess sim;
  ASSERT_TRUE(sim.started());
  auto form = MemoryForm::MainWindow();
  form->addItem(mw::kCategoryBox, "kept");
  std::stop_source stop;
  stop.request_stop();
  {
    StopScope scope(stop.get_token());
    LoadCategoryList(*form);
  }
  EXPECT_EQ(form->itemCount(mw::kCategoryBox), 1);
  EXPECT_EQ(form->itemText(mw::kCategoryBox, 0), "kept");
}

}  // namespace
}  // namespace pelvaro::e2e

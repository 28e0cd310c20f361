// The vendor's collection service, notification service and category list host.

#include "platform/text.h"
#include "sim/raw_server.h"
#include "sim/request_parts.h"
#include "sim/sim_context.h"

namespace pelvaro::sim {
namespace {

// Category names in GBK, one a line, each line ended by CR LF.
std::string CategoryList(const Graph& graph) {
  std::string list;
  for (const auto& name : graph.Categories()) list += Gbk(name) + "\r\n";
  return list;
}

bool SignOk(const httplib::Request& req) {
  return req.has_header("sign") && SignValueValid(req.get_header_value("sign"));
}

void Forbid(SimContext& context, const char* what, httplib::Response& res) {
  context.journal.Write({{"service", "vendor_api"}, {"event", "rejected"}, {"what", what}});
  res.status = 403;
}

}  // namespace

void InstallVendorApi(RawServer& server, SimContext& context) {
  server.Get("/pelvaro", [&context](const httplib::Request& req, httplib::Response& res) {
    if (!SignOk(req)) return Forbid(context, "pelvaro", res);
    auto query = ParseQuery(req.target);
    std::string leimu = QueryValue(query, "leimu").value_or("");  // GBK bytes
    std::string id = QueryValue(query, "id").value_or("");
    std::string del = QueryValue(query, "del").value_or("");
    std::string category = GbkToUtf8(leimu);
    const Graph& graph = context.graph;

    if (leimu == "all") {
      std::string list = context.options.no_category_service ? std::string() : CategoryList(graph);
      context.journal.Write(
          {{"service", "vendor_api"}, {"event", "categories"}, {"bytes", std::to_string(list.size()), true}});
      res.set_content(list, "text/plain");
      return;
    }
    if (!id.empty()) {
      bool first = context.vendor.AddReport({category, id, del});
      context.journal.Write({{"service", "vendor_api"},
                             {"event", "report"},
                             {"category", category},
                             {"id", id},
                             {"del", del},
                             {"first", first ? "true" : "false", true}});
      res.set_content(Gbk(first ? "收录成功：" : "已收录过：") + id, "text/plain");
      return;
    }
    std::optional<std::optional<std::size_t>> which;  // outer: known at all; inner: a category or all
    if (category == "所有类目")
      which = std::optional<std::size_t>();
    else if (auto c = graph.FindCategory(category))
      which = c;
    std::string seed;
    if (which) {
      seed = context.vendor.NextSeed(category, [&graph, which](std::uint64_t k) {
        auto index = graph.SeedFor(*which, k);
        return index ? graph.DocidAt(*index) : std::string();
      });
    }
    context.journal.Write(
        {{"service", "vendor_api"}, {"event", "seed"}, {"category", category}, {"id", seed}});
    res.set_content(seed, "text/plain");
  });

  server.Get("/tongzhi", [&context](const httplib::Request& req, httplib::Response& res) {
    if (!SignOk(req)) return Forbid(context, "tongzhi", res);
    auto query = ParseQuery(req.target);
    context.journal.Write({{"service", "vendor_api"},
                           {"event", "notice"},
                           {"mubiao", GbkToUtf8(QueryValue(query, "mubiao").value_or(""))},
                           {"title", GbkToUtf8(QueryValue(query, "title").value_or(""))},
                           {"body", GbkToUtf8(QueryValue(query, "body").value_or(""))},
                           {"sa", QueryValue(query, "sa").value_or("")}});
    res.set_content("ok", "text/plain");
  });
}

void InstallVendorList(RawServer& server, SimContext& context) {
  server.Get("/list.txt", [&context](const httplib::Request&, httplib::Response& res) {
    res.set_content(CategoryList(context.graph), "text/plain");
  });
}

}  // namespace pelvaro::sim

#pragma once
// Feeds the page 已采集 from the catalogue. The catalogue is read and written on a worker of
// this object, never on the GUI thread, and the rows reach the page through the GUI thread's
// queue; the reads go through a reading connection of the page's own (CatalogueReader), so a
// running crawl is never held up. Retrying forgets every remembered failure, as
// `pelvaro-cli --retry-failed` does, and reads again; exporting writes the CSV file the user
// names.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/worker.h"

namespace pelvaro {

class Catalogue;
class CatalogueBackend;
class CatalogueReader;
class CollectedView;

class CollectedSource {
 public:
  // Asks for the CSV file to write (empty: cancelled); the default asks with a file dialog.
  using SavePrompt = std::function<QString(QWidget* owner, const QString& suggested)>;

  // The catalogue may be null (the page then says so) and must outlive this object.
  CollectedSource(CollectedView& view, CatalogueBackend* catalogue);
  // Stops the worker and waits for it, so that it never reports to a page that is gone.
  ~CollectedSource();
  CollectedSource(const CollectedSource&) = delete;
  CollectedSource& operator=(const CollectedSource&) = delete;

  void setSavePrompt(SavePrompt prompt) { savePrompt_ = std::move(prompt); }

  // Each does nothing while an earlier turn still runs.
  void refresh();
  void retryFailed();
  void exportCsv();

  // The worker's current turn (tests wait for it).
  Worker& worker() { return worker_; }

 private:
  // Runs job on the worker with the page marked busy until it has returned.
  void run(std::function<void()> job);
  void post(std::function<void(CollectedView&)> show);
  void read();

  QPointer<CollectedView> view_;
  CatalogueBackend* catalogue_;
  Catalogue* file_;  // the same catalogue when it is the data folder's file, else null
  std::unique_ptr<CatalogueReader> reader_;  // opened on the worker at the first read
  SavePrompt savePrompt_;
  Worker worker_;
};

}  // namespace pelvaro

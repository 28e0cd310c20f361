#pragma once
// A label that keeps the plain text it was given and shows it the way the fixed layouts expect:
// blanks half as wide as a Han character (captions pad with blanks so that edit boxes can sit
// on them), and wrapped text on a line pitch close to the font size. Wrapped text always fits
// the label's rectangle: when the design's font runs longer than the rectangle allows, the pitch
// and then the font size step down until it does. The text is never read as markup, whatever it
// holds.

#include <QLabel>

namespace pelvaro {

class DesignLabel : public QLabel {
 public:
  explicit DesignLabel(QWidget* parent = nullptr);

  // Lines break at "\n".
  void setPlainText(const QString& text);
  QString plainText() const { return plain_; }

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void render();
  void showWith(int fontPx, int pitchPx, bool sizeGiven);

  QString plain_;
};

}  // namespace pelvaro

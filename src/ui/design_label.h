#pragma once
// A label that keeps the plain text it was given and shows it the way the fixed layouts expect:
// blanks half as wide as a Han character (captions pad with blanks so that edit boxes can sit
// on them), and wrapped text on a line pitch close to the font size. The text is never read as
// markup, whatever it holds.

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

 private:
  void render();

  QString plain_;
};

}  // namespace pelvaro

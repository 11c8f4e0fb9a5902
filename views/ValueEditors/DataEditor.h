// The editor of a Data value: the hex view with its mode, text encoding and clipboard form, the size and the
// selection, import from and export to a file, a preview of an image, and the bytes of a property list
// opened as a document of their own.
#pragma once

#include "ValueEditor.h"

class QComboBox;
class QLabel;

namespace views {

class HexView;

class DataEditor : public ValueEditor {
    Q_OBJECT
public:
    DataEditor(const model::Data& value, QWidget* parent);

    std::optional<model::Entry::Value> value() const override;
    void setTypedText(const QString& text, int caret) override;

    HexView* hexView() const { return _hex; }
    QLabel* statusLabel() const { return _status; }
    QLabel* preview() const { return _preview; }
    QPushButton* openAsDocumentButton() const { return _openAsDocument; }
    QComboBox* encodingBox() const { return _encoding; }
    QComboBox* clipboardFormBox() const { return _form; }

    // The bytes of a file in place of the value's; false (and the reason shown) when it cannot be read.
    bool importFromFile(const QString& path);
    bool exportToFile(const QString& path);

    // Whether bytes begin as an image the preview shows, or as a property list.
    static bool looksLikeImage(const model::Data& bytes);
    static bool looksLikePropertyList(const model::Data& bytes);

private:
    void updateStatus();
    void updatePreview();

    HexView* _hex = nullptr;
    QLabel* _status = nullptr;
    QLabel* _preview = nullptr;
    QComboBox* _encoding = nullptr;
    QComboBox* _form = nullptr;
    QPushButton* _openAsDocument = nullptr;
    QString _problem;
};

} // namespace views

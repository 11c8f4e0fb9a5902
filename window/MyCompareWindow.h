// The compare window: two documents side by side as outlines, rows aligned with gaps where one side lacks an
// entry, differences coloured and signed, scrolling and expansion in step, and a difference under the cursor
// copied to a side that is open in a document window, as an undoable edit of that window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "model/PlistDocument.h"
#include "model/TreeDiff.h"

class QLabel;
class QPushButton;
class QTreeView;

namespace window {

class MyWindowController;
class CompareSideModel;

class MyCompareWindow : public QWidget {
    Q_OBJECT
public:
    // What the application offers: the document window open on a file (none when there is none) and a window
    // opened on a file for editing.
    struct Windows {
        std::function<MyWindowController*(const QString& path)> find;
        std::function<MyWindowController*(const QString& path)> open;
    };
    // Compares two files; a side given a window compares that window's document (its path may be empty).
    MyCompareWindow(const QString& leftPath, const QString& rightPath, Windows windows,
                    MyWindowController* leftWindow = nullptr, QWidget* parent = nullptr);
    ~MyCompareWindow() override;

    // One node of the aligned rows, made when its parent is first expanded or searched.
    struct Node {
        model::ComparedRow row;
        Node* parent = nullptr;
        int index = 0;
        bool loaded = false;
        std::vector<std::unique_ptr<Node>> children;
    };

    // The number of differences, and the reason a side could not be read (empty when both were).
    size_t differenceCount() const { return _comparison ? _comparison->differences().size() : 0; }
    QString failure() const { return _failure; }
    QTreeView* outline(bool right) const { return right ? _rightView : _leftView; }
    QLabel* countLabel() const { return _count; }
    // The node of the current row, none when there is none.
    Node* currentNode() const;
    void nextDifference(bool forward = true);
    // Makes the left (or right) side hold what the other side holds at the current row.
    void copyToSide(bool right);
    bool canCopyToSide(bool right) const;
    void openToEdit(bool right);
    // Compares the two sides again, keeping expanded rows and the current row where they still are.
    void recompare();

    // For the models: a node's children, made on first use (none while a side changes under the comparison).
    const std::vector<std::unique_ptr<Node>>& childrenOf(Node* node);
    bool hasChildRows(const Node* node) const;
    Node* rootNode() const { return _root.get(); }

private:
    struct Side {
        QString path;
        QPointer<MyWindowController> window;
        std::unique_ptr<model::PlistDocument> own;
        model::EntryRef root() const;
    };
    bool load(Side& side);
    void watch(Side& side);
    void updateActions();
    void select(Node* node);
    QString sideTitle(const Side& side) const;

    Windows _windows;
    Side _sides[2];
    std::unique_ptr<model::TreeComparison> _comparison;
    std::unique_ptr<Node> _root;
    bool _stale = false;
    QString _failure;
    CompareSideModel* _leftModel = nullptr;
    CompareSideModel* _rightModel = nullptr;
    QTreeView* _leftView = nullptr;
    QTreeView* _rightView = nullptr;
    QLabel* _titles[2] = {};
    QPushButton* _openToEdit[2] = {};
    QLabel* _count = nullptr;
    QPushButton* _copyLeft = nullptr;
    QPushButton* _copyRight = nullptr;
};

} // namespace window

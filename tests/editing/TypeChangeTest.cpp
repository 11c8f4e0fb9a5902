// Changing an entry's type in a window: the value every pair of types converts to, undone and redone, for
// scalars, containers and the root.
#include <QAction>
#include <QDateTime>
#include <QtTest>

#include <cmath>
#include <optional>

#include "WindowTestSupport.h"

using namespace vantrel::test;

namespace {

constexpr double kIsoSeconds = 725857445; // 2024-01-02T03:04:05Z, counted from 2001
const std::string kIso = "2024-01-02T03:04:05Z";

Entry::Value integer(int64_t i) {
    return model::Number::fromInteger(plist::Integer::fromSigned(i));
}
Entry::Value real(double d) {
    return model::Number::fromReal(d);
}
Entry::Value bytes(const std::string& s) {
    return model::Data(s.begin(), s.end());
}
Entry::Value text(const char* s) {
    return std::string(s);
}

struct Conversion {
    const char* name;
    EntryType from;
    Entry::Value value; // of a scalar source; a container source has children keyed a, b, ...
    EntryType to;
    std::optional<Entry::Value> expected; // none for the date now
    int children = 0;
};

const std::vector<Conversion>& conversions() {
    using enum EntryType;
    const Entry::Value none = std::string(), isoDate = plist::Date{kIsoSeconds};
    static const std::vector<Conversion> table = {
        {"ISO text to Date", String, kIso, Date, isoDate},
        {"other text to Date", String, text("hello"), Date, std::nullopt},
        {"empty text to Date", String, text(""), Date, std::nullopt},
        {"real to String", Number, real(3.5), String, text("3.5")},
        {"integer to String", Number, integer(-12), String, text("-12")},
        {"half to Boolean", Number, real(0.5), Boolean, false},
        {"twelve to Boolean", Number, integer(12), Boolean, true},
        {"true to Number", Boolean, true, Number, integer(1)},
        {"digits then letters to Number", String, text("12abc"), Number, integer(12)},
        {"exponent with a point to Number", String, text("1.5e3"), Number, real(1500)},
        {"spaced exponent without a point to Number", String, text(" 1e5 "), Number, real(100000)},
        {"letters to Number", String, text("abc"), Number, integer(0)},
        {"signed inf to Number", String, text("+inf"), Number, real(INFINITY)},
        {"too many digits to Number", String, text("99999999999999999999"), Number,
         model::Number::fromInteger(plist::Integer::fromUnsigned(UINT64_MAX))},
        {"Date to Data", Date, isoDate, Data, bytes(kIso)},
        {"Date to String", Date, isoDate, String, kIso},
        {"ISO data to String", Data, bytes(kIso), String, kIso},
        {"ISO data to Date", Data, bytes(kIso), Date, isoDate},
        {"invalid UTF-8 to String", Data, bytes("\xff\xfe\x41"), String, none},
        {"text to Data", String, text("h\xc3\xa9"), Data, bytes("h\xc3\xa9")},
        {"n/a to String", NotApplicable, text("unknown data"), String, text("unknown data")},
        {"n/a to Number", NotApplicable, text("unknown data"), Number, integer(0)},
        {"n/a to Boolean", NotApplicable, text("unknown data"), Boolean, false},
        {"Dictionary to String", Dictionary, none, String, none, 2},
        {"Array to Number", Array, none, Number, integer(0), 2},
        {"Dictionary to Boolean", Dictionary, none, Boolean, false, 1},
        {"Array to Date", Array, none, Date, std::nullopt, 1},
        {"String to Array", String, text("x"), Array, Children()},
        {"empty Array to Dictionary", Array, none, Dictionary, Children()},
    };
    return table;
}

bool isContainerType(EntryType t) {
    return t == EntryType::Array || t == EntryType::Dictionary;
}

} // namespace

class TypeChangeTest : public QObject {
    Q_OBJECT
private slots:
    void typeChangeConvertsTheValueAndUndoes_data() {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < conversions().size(); ++i)
            QTest::newRow(conversions()[i].name) << int(i);
    }

    void typeChangeConvertsTheValueAndUndoes() {
        QFETCH(int, row);
        const Conversion& c = conversions()[size_t(row)];
        DocumentWindow w;
        QVERIFY(w.openNew());
        EntryRef e = Entry::make("v", c.from, c.value);
        if (isContainerType(c.from)) {
            e = Entry::makeContainer("v", c.from);
            for (int i = 0; i < c.children; ++i)
                e->appendChild(Entry::make(std::string(1, char('a' + i)), EntryType::String, text("x")));
        }
        w->doCommands({CommandRecord::insertItem(e, w->rootEntry(), 0)});
        clickRow(*w, e);
        QCOMPARE(w->currentItem().get(), e.get());
        QTest::keyClick(w->outlineView(), Qt::Key_Right); // a container shows its children
        const QString before = treeText(w->rootEntry());
        const std::vector<EntryRef> entries = allEntries(w->rootEntry());

        w->changeCurrentItemClassTypeWithNewClassType(c.to);
        QCOMPARE(e->type(), c.to);
        QCOMPARE(e->isContainer(), isContainerType(c.to));
        const QString changed = valueText(e->value());
        if (c.expected) {
            QCOMPARE(changed, valueText(*c.expected));
        } else {
            // Now, in whole seconds, give or take a little.
            const Entry::Value v = e->value();
            const auto* d = std::get_if<plist::Date>(&v);
            const double now = double(QDateTime::currentSecsSinceEpoch() - 978307200);
            QVERIFY2(d && std::abs(d->seconds - now) <= 5 && d->seconds == std::floor(d->seconds),
                     qPrintable(changed));
        }
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Change Type"));

        // Undo gives back the type, the value and any children with their keys; redo the very same new value.
        w->undoAction()->trigger();
        QCOMPARE(treeText(w->rootEntry()), before);
        QVERIFY(allEntries(w->rootEntry()) == entries);
        const auto [shown, expanded] = shownAndExpandedRows(*w);
        QCOMPARE(shown, expanded);
        w->redoAction()->trigger();
        QCOMPARE(e->type(), c.to);
        QCOMPARE(valueText(e->value()), changed);
    }

    void dictionaryToArrayRekeysTheChildrenAndUndoGivesTheKeysBack() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>d</key><dict><key>a</key><string>A</string><key>b</key>"
                                      "<integer>2</integer></dict></dict>")));
        const EntryRef d = childAt(w->rootEntry(), 0);
        const std::vector<EntryRef> entries = allEntries(w->rootEntry());
        auto state = [&] {
            return QString::fromStdString(std::string(model::typeName(d->type()))) + " " + keysOf(d);
        };
        auto change = [&](EntryType t) {
            w->changeCurrentItemClassTypeWithNewClassType(t);
            return state();
        };
        auto trigger = [&](QAction* a) {
            a->trigger();
            return state();
        };
        clickRow(*w, d);
        const QString rekeyed = QStringLiteral(" New item,New item - 2");
        QCOMPARE(
            QStringList({change(EntryType::Array), change(EntryType::Dictionary), trigger(w->undoAction()),
                         trigger(w->undoAction()), trigger(w->redoAction()), trigger(w->redoAction())}),
            QStringList({"Array" + rekeyed, "Dictionary" + rekeyed, "Array" + rekeyed, "Dictionary a,b",
                         "Array" + rekeyed, "Dictionary" + rekeyed}));
        QCOMPARE(valuesOf(d), QStringLiteral("A,"));
        QVERIFY(allEntries(w->rootEntry()) == entries);
    }

    void choosingTheSameTypeChangesNothing() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        const QString before = treeText(w->rootEntry());
        for (const char* path : {"name", "count", "on", "when", "blob", "list", "settings"}) {
            const EntryRef e = entryAtPath(w->rootEntry(), QString::fromLatin1(path));
            clickRow(*w, e);
            QCOMPARE(w->currentItem().get(), e.get());
            w->changeCurrentItemClassTypeWithNewClassType(e->type());
        }
        QCOMPARE(treeText(w->rootEntry()), before);
        QVERIFY(!w->undoAction()->isEnabled());
    }

    void rootChangesToAnyType_data() {
        QTest::addColumn<int>("type");
        for (EntryType t : {EntryType::Array, EntryType::Boolean, EntryType::Data, EntryType::Date,
                            EntryType::Number, EntryType::String})
            QTest::newRow(std::string(model::typeName(t)).c_str()) << int(t);
    }

    void rootChangesToAnyType() {
        QFETCH(int, type);
        const EntryType t = EntryType(type);
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b"})));
        const EntryRef root = w->rootEntry();
        const QString before = treeText(root);
        const std::vector<EntryRef> entries = allEntries(root);
        clickRow(*w, root);
        QCOMPARE(w->currentItem().get(), root.get());
        w->changeCurrentItemClassTypeWithNewClassType(t);
        QCOMPARE(w->rootEntry().get(), root.get());
        QCOMPARE(root->type(), t);
        QCOMPARE(root->childCount(), size_t(isContainerType(t) ? 2 : 0));
        QCOMPARE(w->entryModel()->rowCount(), 1);
        QCOMPARE(w->entryModel()->rowCount(w->entryModel()->index(0, 0)), int(root->childCount()));
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QVERIFY(allEntries(root) == entries);
        const auto [shown, expanded] = shownAndExpandedRows(*w);
        QCOMPARE(shown, expanded);
        w->redoAction()->trigger();
        QCOMPARE(root->type(), t);
    }

    // A row selected from code once left the type change acting on the row clicked before.
    void rowSelectedFromCodeIsTheOneATypeChangeActsOn() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b"})));
        const EntryRef a = childAt(w->rootEntry(), 0), b = childAt(w->rootEntry(), 1);
        clickRow(*w, a);
        w->outlineViewSelectItem(b.get());
        QCOMPARE(selectedEntry(*w), b.get());
        QCOMPARE(w->currentItem().get(), b.get());
        w->changeCurrentItemClassTypeWithNewClassType(EntryType::Number);
        QCOMPARE(b->type(), EntryType::Number);
        QCOMPARE(a->type(), EntryType::String);
    }
};

QTEST_MAIN(TypeChangeTest)
#include "TypeChangeTest.moc"

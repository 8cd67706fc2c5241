// The form descriptions: every designed control is there with its kind, caption, items, limits
// and start state; the first page's tab order; and no caption is cut at its geometry with the
// fonts of this desktop.

#include "PageControl.h"
#include "ui_Mainform.h"
#include "ui_Status.h"
#include "ui_Switches.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct MainForm {
    QWidget w;
    Ui::TForm1 ui;
    MainForm() {
        ui.setupUi(&w);
        w.show();
        QCoreApplication::processEvents();
    }
};
struct SwitchesForm {
    QDialog w;
    Ui::TForm2 ui;
    SwitchesForm() {
        ui.setupUi(&w);
        w.show();
        QCoreApplication::processEvents();
    }
};
struct StatusForm {
    QDialog w;
    Ui::TForm4 ui;
    StatusForm() {
        ui.setupUi(&w);
        w.show();
        QCoreApplication::processEvents();
    }
};

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Caption of a control: label or button text, group title, edit text.
QString captionOf(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    return {};
}

struct Control {
    const char* name;
    const char* kind;
    const char* caption;
};

// Controls of the main window with their designed captions (for edits: the text at start).
const Control kMainControls[] = {
    {"PageControl1", "TPageControl", nullptr},
    {"ComboBox1", "QComboBox", nullptr},
    {"ComboBox3", "QComboBox", nullptr},
    {"Button2", "QPushButton", "Подключить"},
    {"Shape1", "TShape", nullptr},
    {"Button1", "QPushButton", "Закрыть"},
    // page 1
    {"RichEdit1", "QPlainTextEdit", nullptr},
    {"Edit1", "QLineEdit", "1500"},
    {"Label2", "QLabel", "Задержка (мс) между подтестами"},
    {"CheckBox1", "QCheckBox", "Без фискальных чеков и Z-отчета"},
    {"ComboBox2", "QComboBox", nullptr},
    {"Label1", "QLabel", "циклов"},
    {"Button3", "QPushButton", "Старт"},
    {"Button4", "QPushButton", "Стоп"},
    {"Button6", "QPushButton", "Очистить"},
    {"Button5", "QPushButton", "Сохранить"},
    // page 2
    {"GroupBox1", "QGroupBox", "Тест индикаторов"},
    {"Edit2", "QLineEdit", "1"},
    {"Label3", "QLabel", "Количество повторений"},
    {"Button11", "QPushButton", "Стоп"},
    {"Button7", "QPushButton", "Тест"},
    {"GroupBox2", "QGroupBox", "Вывод символа"},
    {"Label5", "QLabel", "Символ:"},
    {"Edit4", "QLineEdit", "Ш"},
    {"Button8", "QPushButton", "Тест"},
    {"GroupBox3", "QGroupBox", "Вывод строк"},
    {"Edit5", "QLineEdit", ""},
    {"Edit6", "QLineEdit", ""},
    {"Button9", "QPushButton", "Тест"},
    // page 3
    {"GroupBox12", "QGroupBox", "Открыть денежный ящик"},
    {"Edit9", "QLineEdit", "20"},
    {"Label7", "QLabel", "Длина импульса (5мс - 80мс)"},
    {"Button10", "QPushButton", "Открыть"},
    {"GroupBox13", "QGroupBox", "Служебный внос/вынос"},
    {"ComboBox6", "QComboBox", nullptr},
    {"Label27", "QLabel", "Сумма:"},
    {"Edit17", "QLineEdit", ""},
    {"Button20", "QPushButton", "Выполнить"},
    {"GroupBox14", "QGroupBox", "Обнуление артикулов"},
    {"Button21", "QPushButton", "Удалить артикулы"},
    {"Label28", "QLabel", "Пароль:"},
    {"Edit18", "QLineEdit", "5917"},
    // page 4
    {"Label10", "QLabel", "Заводской номер:"},
    {"Label11", "QLabel", "Фискальный номер:"},
    {"Label12", "QLabel", "Налоговый номер:"},
    {"Label13", "QLabel", "Версия ПО:"},
    {"Label14", "QLabel", "Налоговые ставки:"},
    {"Label8", "QLabel", "Переключатели:"},
    {"Edit12", "QLineEdit", ""},
    {"Edit13", "QLineEdit", ""},
    {"Edit14", "QLineEdit", ""},
    {"Edit15", "QLineEdit", ""},
    {"Edit16", "QLineEdit", ""},
    {"Edit8", "QLineEdit", ""},
    {"CheckBox2", "QCheckBox", "Фискализирован"},
    {"CheckBox3", "QCheckBox", "Открыт фискальный чек"},
    {"CheckBox4", "QCheckBox", "Открыт чек возврата"},
    {"CheckBox5", "QCheckBox", "Открыт нефискальный чек"},
    {"Label26", "QLabel", "         "},
    // page 5
    {"GroupBox4", "QGroupBox", "Тест печати"},
    {"Edit3", "QLineEdit", "Ш"},
    {"Label4", "QLabel", "символ"},
    {"Edit7", "QLineEdit", "1"},
    {"Label6", "QLabel", "строк в чеке"},
    {"Button12", "QPushButton", "Печать"},
    {"GroupBox5", "QGroupBox", "Нулевой чек"},
    {"Button13", "QPushButton", "Выполнить"},
    {"GroupBox6", "QGroupBox", "Отчеты"},
    {"ComboBox10", "QComboBox", nullptr},
    {"Button14", "QPushButton", "Выполнить"},
    {"GroupBox7", "QGroupBox", "Анулировать чек (возврат, фискальный)"},
    {"Button15", "QPushButton", "Аннулировать чек"},
    {"GroupBox18", "QGroupBox", "Периодический отчет"},
    {"RadioGroup3", "QGroupBox", "Тип отчета"},
    {"RadioGroup3_0", "QRadioButton", "По номеру"},
    {"RadioGroup3_1", "QRadioButton", "По дате"},
    {"RadioGroup4", "QGroupBox", "Отчет"},
    {"RadioGroup4_0", "QRadioButton", "Сокращенный"},
    {"RadioGroup4_1", "QRadioButton", "Полный"},
    {"Label38", "QLabel", "Дата (начало):"},
    {"Label39", "QLabel", "Дата (конец):"},
    {"DateEdit1", "TDateEdit", nullptr},
    {"DateEdit2", "TDateEdit", nullptr},
    {"Label40", "QLabel", "Номер (начало):"},
    {"Label41", "QLabel", "Номер (конец):"},
    {"Edit25", "QLineEdit", "1"},
    {"Edit26", "QLineEdit", "1"},
    {"Button24", "QPushButton", "Выполнить"},
    // page 6
    {"Memo1", "QTextEdit", nullptr},
    // page 7
    {"GroupBox10", "QGroupBox", "Звуковой сигнал"},
    {"GroupBox11", "QGroupBox", "Звуковой сигнал"},
    {"Label25", "QLabel", "    "},
    {"Button19", "QPushButton", "Тест"},
    {"ComboBox5", "QComboBox", nullptr},
    {"Label21", "QLabel", "циклов"},
    {"Edit11", "QLineEdit", "1500"},
    {"Label20", "QLabel", "Задержка (мс) между подтестами"},
    {"Label23", "QLabel", "Всего ошибок:  "},
    {"Label24", "QLabel", "   "},
    {"Label22", "QLabel", "  "},
    {"Button18", "QPushButton", "Тест"},
    {"GroupBox9", "QGroupBox", "Обрезка чека"},
    {"GroupBox8", "QGroupBox", "Обрезать чек"},
    {"Label16", "QLabel", "    "},
    {"Button16", "QPushButton", "Тест"},
    {"ComboBox4", "QComboBox", nullptr},
    {"Label15", "QLabel", "циклов"},
    {"Edit10", "QLineEdit", "1500"},
    {"Label9", "QLabel", "Задержка (мс) между подтестами"},
    {"Label18", "QLabel", "Всего ошибок:  "},
    {"Label19", "QLabel", "   "},
    {"Label17", "QLabel", "  "},
    {"Button17", "QPushButton", "Тест"},
    // page 8
    {"GroupBox15", "QGroupBox", "Установить пароль кассира"},
    {"Label29", "QLabel", "Кассир:"},
    {"ComboBox7", "QComboBox", nullptr},
    {"Label30", "QLabel", "Старый пароль:"},
    {"Edit19", "QLineEdit", ""},
    {"Label31", "QLabel", "Новый пароль:"},
    {"Edit20", "QLineEdit", ""},
    {"Button22", "QPushButton", "Выполнить"},
    {"GroupBox16", "QGroupBox", "Обнуление пароля кассиро"},
    {"Label36", "QLabel", "Пароль Администратора:"},
    {"Edit24", "QLineEdit", ""},
    {"Label37", "QLabel", "Кассир:"},
    {"ComboBox9", "QComboBox", nullptr},
    {"Button23", "QPushButton", "Обнулить пароль кассира (5917)"},
    {"GroupBox17", "QGroupBox", "Использовать следующие пароли для тестов"},
    {"Label32", "QLabel", "Кассир:"},
    {"ComboBox8", "QComboBox", nullptr},
    {"Label33", "QLabel", "Пароль кассира:"},
    {"Edit21", "QLineEdit", "5917"},
    {"Label34", "QLabel", "Пароль оператора по программированию:"},
    {"Edit22", "QLineEdit", "5917"},
    {"Label35", "QLabel", "Пароль оператора по отчетам:"},
    {"Edit23", "QLineEdit", "5917"},
};

void expectControls(const QWidget& form, const Control* begin, const Control* end) {
    for (const Control* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->name);
        auto* w = form.findChild<QWidget*>(QLatin1String(c->name));
        ASSERT_NE(w, nullptr) << "missing";
        EXPECT_STREQ(w->metaObject()->className(), c->kind);
        if (c->caption) {
            EXPECT_EQ(captionOf(w), u(c->caption));
        }
    }
}

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QStringList numbered(const char* prefix, int from, int to) {
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << u(prefix) + QString::number(i);
    return list;
}

// Texts the console puts into controls later; they must fit as well as the designed ones.
const std::map<std::string, std::vector<const char*>> kRuntimeTexts = {
    {"Button2", {"Отключить"}},
    {"Label26", {"Ждите !!!"}},
    {"Label16", {"Ошибка теста отрезки чека", "Тест отрезки чека - успешно"}},
    {"Label25", {"Ошибка теста звукового сигнала", "Тест звукового сигнала - успешно"}},
    {"Label17", {"Ошибка теста обрезки чека", "Тест обрезки чека - успешно"}},
    {"Label22", {"Ошибка теста звукового сигнала", "Тест звукового сигнала - успешно"}},
    {"Label19", {"0", "1"}},
    {"Label24", {"0", "1"}},
};

// Width a caption may take inside its control, from the style in use.
int usableWidth(QWidget* w) {
    QStyle* s = w->style();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->contentsRect().width() - 2 * qMax(0, l->indent());
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        return s->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width();
    }
    if (auto* b = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        return s->subElementRect(QStyle::SE_CheckBoxContents, &opt, b).width();
    }
    if (auto* b = qobject_cast<QRadioButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        return s->subElementRect(QStyle::SE_RadioButtonContents, &opt, b).width();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label =
            s->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        // The title must also lie inside the box, not run past its frame.
        return g->rect().contains(label) ? label.width() : 0;
    }
    return -1;
}

void expectCaptionsFit(QWidget& form) {
    for (QWidget* w : form.findChildren<QWidget*>()) {
        const int usable = usableWidth(w);
        if (usable < 0 || w->objectName().startsWith(QLatin1String("qt_"))) continue;
        QStringList texts{captionOf(w)};
        auto extra = kRuntimeTexts.find(w->objectName().toStdString());
        if (extra != kRuntimeTexts.end())
            for (const char* t : extra->second)
                texts << u(t);
        const QFontMetrics fm(w->font());
        for (const QString& t : texts) {
            if (t.trimmed().isEmpty()) continue;
            EXPECT_LE(fm.horizontalAdvance(t), usable)
                << w->objectName().toStdString() << ": \"" << t.toStdString() << "\" is cut";
        }
        if (qobject_cast<QLabel*>(w)) {
            EXPECT_LE(fm.height(), w->height()) << w->objectName().toStdString() << " too low";
        }
    }
}

// Siblings that are never shown together: the periodic report's date and number layouts.
bool alternates(const QWidget* a, const QWidget* b) {
    static const std::set<QString> byDate{"Label38", "Label39", "DateEdit1", "DateEdit2"};
    static const std::set<QString> byNumber{"Label40", "Label41", "Edit25", "Edit26"};
    const QString x = a->objectName(), y = b->objectName();
    return (byDate.count(x) && byNumber.count(y)) || (byNumber.count(x) && byDate.count(y));
}

// No control covers another (a label over an edit would also take its clicks), and every control
// lies inside its parent.
void expectNoOverlaps(QWidget& form) {
    for (QWidget* parent : form.findChildren<QWidget*>()) {
        if (qobject_cast<QTabWidget*>(parent) || qobject_cast<QStackedWidget*>(parent) ||
            qobject_cast<QAbstractScrollArea*>(parent) || qobject_cast<QComboBox*>(parent) ||
            qobject_cast<QAbstractSpinBox*>(parent) || parent->objectName().isEmpty() ||
            parent->objectName().startsWith(QLatin1String("qt_")))
            continue;
        std::vector<QWidget*> kids;
        for (QObject* o : parent->children())
            if (auto* k = qobject_cast<QWidget*>(o); k && !k->objectName().isEmpty() &&
                                                     !k->objectName().startsWith("qt_") &&
                                                     !k->isWindow())
                kids.push_back(k);
        for (QWidget* k : kids)
            EXPECT_TRUE(parent->rect().contains(k->geometry()))
                << k->objectName().toStdString() << " runs out of "
                << parent->objectName().toStdString();
        for (std::size_t i = 0; i < kids.size(); ++i)
            for (std::size_t j = i + 1; j < kids.size(); ++j)
                if (!alternates(kids[i], kids[j])) {
                    EXPECT_FALSE(kids[i]->geometry().intersects(kids[j]->geometry()))
                        << kids[i]->objectName().toStdString() << " overlaps "
                        << kids[j]->objectName().toStdString();
                }
    }
}

} // namespace

TEST(MainForm, HasEveryControlWithItsCaption) {
    MainForm f;
    expectControls(f.w, std::begin(kMainControls), std::end(kMainControls));
    EXPECT_EQ(f.w.windowTitle(), u("Тест регистратора расчетных операций TR7042K"));
    EXPECT_EQ(f.w.size(), QSize(536, 429));
    EXPECT_EQ(f.w.minimumSize(), f.w.maximumSize()) << "the window is not resizable";
}

TEST(MainForm, ControlsKeepTheFormFontWhenTheFrameIsSet) {
    // The console gives the window its tool-window frame after setupUi; the controls must keep
    // the 8-point font the geometry was laid out for.
    MainForm f;
    f.w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowMinimizeButtonHint);
    f.w.show();
    QCoreApplication::processEvents();
    for (QWidget* w :
         std::initializer_list<QWidget*>{f.ui.Label34, f.ui.ComboBox1, f.ui.Button3,
                                         f.ui.PageControl1, f.ui.GroupBox17, f.ui.RadioGroup4_0})
        EXPECT_EQ(w->font().pointSizeF(), 8.0) << w->objectName().toStdString();
    EXPECT_GT(f.ui.Label26->font().pointSizeF(), 8.0) << "the wait label stands out";
}

TEST(MainForm, PagesInTabOrderWithTheirCaptions) {
    MainForm f;
    TPageControl* pc = f.ui.PageControl1;
    const char* captions[] = {"Тест РРО",
                              "Индикаторы клиента",
                              "Денежный ящик, внос-вынос, обнуление артикулов",
                              "Общая информация",
                              "Дополнительные функции",
                              "О программе",
                              "Обрезка чека и звуковой сигнал",
                              "Пароли"};
    ASSERT_EQ(pc->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pc->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
        EXPECT_EQ(pc->tabText(i), u(captions[i]));
    }
    EXPECT_EQ(pc->currentIndex(), 0);
    EXPECT_FALSE(pc->isEnabled()) << "pages are usable only once connected";
    EXPECT_EQ(pc->geometry(), QRect(8, 0, 521, 401));
}

TEST(MainForm, ListsHoldTheirItemsAndStartSelections) {
    MainForm f;
    const auto& ui = f.ui;
    EXPECT_EQ(itemsOf(ui.ComboBox1), numbered("COM", 1, 20));
    EXPECT_EQ(itemsOf(ui.ComboBox3),
              QStringList({u("9600 бод"), u("19200 бод"), u("57600 бод"), u("115200 бод")}));
    EXPECT_EQ(itemsOf(ui.ComboBox2), numbered("", 1, 10));
    EXPECT_EQ(itemsOf(ui.ComboBox4), numbered("", 1, 10));
    EXPECT_EQ(itemsOf(ui.ComboBox5), numbered("", 1, 10));
    EXPECT_EQ(itemsOf(ui.ComboBox6), QStringList({u("Служебный внос"), u("Служебный вынос")}));
    EXPECT_EQ(itemsOf(ui.ComboBox8), numbered("Оператор ", 1, 13));
    EXPECT_EQ(itemsOf(ui.ComboBox9), numbered("Оператор ", 1, 13));
    EXPECT_EQ(itemsOf(ui.ComboBox7), numbered("Оператор ", 1, 13)
                                         << u("Оператор по программированию")
                                         << u("Оператор по отчетам") << QString());
    EXPECT_EQ(itemsOf(ui.ComboBox10),
              QStringList({u("Отчет проданных товаров"), u("Отчет запрограммированных товаров"),
                           u("Отчет товарных групп"), u("X-отчет"), u("Z-отчет")}));

    // Lists the user may type into, and those that only offer their entries.
    for (QComboBox* typed : {ui.ComboBox2, ui.ComboBox4, ui.ComboBox5, ui.ComboBox6, ui.ComboBox8})
        EXPECT_TRUE(typed->isEditable()) << typed->objectName().toStdString();
    for (QComboBox* fixed : {ui.ComboBox1, ui.ComboBox3, ui.ComboBox7, ui.ComboBox9, ui.ComboBox10})
        EXPECT_FALSE(fixed->isEditable()) << fixed->objectName().toStdString();

    // No entry selected at start; the pass counts show no text.
    for (QComboBox* none : {ui.ComboBox2, ui.ComboBox4, ui.ComboBox5, ui.ComboBox6, ui.ComboBox7,
                            ui.ComboBox8, ui.ComboBox9}) {
        EXPECT_EQ(none->currentIndex(), -1) << none->objectName().toStdString();
        if (none->isEditable() && none != ui.ComboBox8) {
            EXPECT_TRUE(none->currentText().isEmpty()) << none->objectName().toStdString();
        }
    }
    EXPECT_EQ(ui.ComboBox8->placeholderText(), u("<Выберите кассира>"));
    EXPECT_EQ(ui.ComboBox10->currentIndex(), 0);
}

TEST(MainForm, EditLimitsAndMaskedFields) {
    MainForm f;
    const auto& ui = f.ui;
    // No password can make a request longer than a frame carries.
    for (QLineEdit* e :
         {ui.Edit18, ui.Edit19, ui.Edit20, ui.Edit21, ui.Edit22, ui.Edit23, ui.Edit24})
        EXPECT_EQ(e->maxLength(), 32) << e->objectName().toStdString();
    EXPECT_EQ(ui.Edit24->echoMode(), QLineEdit::Password);
    for (QLineEdit* e : {ui.Edit19, ui.Edit20, ui.Edit21, ui.Edit22, ui.Edit23})
        EXPECT_EQ(e->echoMode(), QLineEdit::Normal) << e->objectName().toStdString();
    EXPECT_EQ(ui.Edit3->maxLength(), 1);
    EXPECT_EQ(ui.Edit4->maxLength(), 1);
    EXPECT_EQ(ui.Edit5->maxLength(), 20);
    EXPECT_EQ(ui.Edit6->maxLength(), 20);

    EXPECT_EQ(ui.Edit17->toolTip(), u("Положительное число - сумма вноса/выноса"));
    EXPECT_EQ(ui.Edit18->toolTip(), u("Пароль по умолчанию - 5917"));
    EXPECT_EQ(ui.Button21->toolTip(),
              u("Удалить все непроданные \n(с последнего Z-отчета артикулы)"));
    EXPECT_EQ(ui.GroupBox16->toolTip(),
              u("Введите пароль Администратора\nдля выполнения обнуления пароля \nкассира"));

    EXPECT_TRUE(ui.RichEdit1->isReadOnly());
    EXPECT_TRUE(ui.Memo1->isReadOnly());
    EXPECT_FALSE(ui.Memo1->toPlainText().trimmed().isEmpty());
    for (QDateEdit* d : {ui.DateEdit1, ui.DateEdit2}) {
        EXPECT_TRUE(d->calendarPopup());
        EXPECT_EQ(d->displayFormat(), QStringLiteral("dd.MM.yy"));
        // Only dates a two-digit year names without doubt.
        EXPECT_EQ(d->minimumDate(), QDate(2000, 1, 1));
        EXPECT_EQ(d->maximumDate(), QDate(2099, 12, 31));
    }
}

TEST(MainForm, StartStates) {
    MainForm f;
    const auto& ui = f.ui;
    for (QWidget* off : std::initializer_list<QWidget*>{
             ui.Button4, ui.Button11, ui.Button22, ui.Button23, ui.Button24, ui.Edit8, ui.Edit12,
             ui.Edit13, ui.Edit14, ui.Edit15, ui.Edit16, ui.CheckBox2, ui.CheckBox3, ui.CheckBox4,
             ui.CheckBox5, ui.DateEdit1, ui.DateEdit2, ui.Edit25, ui.Edit26})
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{ui.Label38, ui.Label39, ui.Label40, ui.Label41,
                                         ui.DateEdit1, ui.DateEdit2, ui.Edit25, ui.Edit26})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_FALSE(ui.CheckBox1->isChecked());
    EXPECT_EQ(ui.RadioGroup3_0->isChecked() + ui.RadioGroup3_1->isChecked(), 0);
    EXPECT_TRUE(ui.RadioGroup4_0->isChecked());
    EXPECT_EQ(ui.Shape1->brushColor(), QColor(255, 0, 0));

    // The journal: light text on a dark ground.
    const QPalette pal = ui.RichEdit1->palette();
    EXPECT_LT(qGray(pal.color(QPalette::Base).rgb()), 64);
    EXPECT_GT(qGray(pal.color(QPalette::Text).rgb()), 192);
    // The wait label is red.
    EXPECT_EQ(ui.Label26->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST(MainForm, FirstPageTabOrder) {
    MainForm f;
    const auto& ui = f.ui;
    const std::vector<QWidget*> expected{ui.RichEdit1, ui.Button3, ui.Button4, ui.CheckBox1,
                                         ui.ComboBox2, ui.Button5, ui.Button6, ui.Edit1};
    const std::set<QWidget*> wanted(expected.begin(), expected.end());
    std::vector<QWidget*> seen;
    QWidget* w = ui.RichEdit1;
    for (int guard = 0; guard < 1000 && seen.size() < expected.size(); ++guard) {
        if (wanted.count(w) && (seen.empty() || seen.back() != w)) seen.push_back(w);
        w = w->nextInFocusChain();
    }
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(seen[i], expected[i])
            << "position " << i << ": " << seen[i]->objectName().toStdString();
}

TEST(MainForm, GeometryOfTheFrameControls) {
    MainForm f;
    const auto& ui = f.ui;
    EXPECT_EQ(ui.ComboBox1->geometry(), QRect(8, 404, 145, 21));
    EXPECT_EQ(ui.ComboBox3->geometry(), QRect(168, 404, 113, 21));
    EXPECT_EQ(ui.Shape1->geometry(), QRect(376, 404, 20, 20));
    EXPECT_EQ(ui.Button1->geometry(), QRect(456, 402, 75, 25));
    EXPECT_EQ(ui.RichEdit1->geometry(), QRect(8, 8, 497, 265));
    EXPECT_EQ(ui.Memo1->geometry(), QRect(16, 64, 481, 201));
}

TEST(MainForm, NoCaptionIsCutAndNoControlCoversAnother) {
    MainForm f;
    expectCaptionsFit(f.w);
    expectNoOverlaps(f.w);
    // The tabs of the page control.
    TPageControl* pc = f.ui.PageControl1;
    const QFontMetrics fm(pc->font());
    for (int i = 0; i < pc->count(); ++i)
        EXPECT_LE(fm.horizontalAdvance(pc->tabText(i)), pc->tabRect(i).width())
            << pc->tabText(i).toStdString();
    // Every page's controls fit the page area below the tab rows.
    for (int i = 0; i < pc->count(); ++i) {
        pc->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QWidget* page = pc->widget(i);
        EXPECT_TRUE(page->rect().contains(page->childrenRect()))
            << page->objectName().toStdString() << " " << page->width() << "x" << page->height();
    }
}

TEST(CheckWindows, SwitchesWindow) {
    SwitchesForm f;
    const Control controls[] = {
        {"Label3", "QLabel", "Неверно установлены переключатели:"},
        {"Label1", "QLabel", "установлены:"},
        {"Edit1", "QLineEdit", ""},
        {"Label2", "QLabel", "должно быть:"},
        {"Edit2", "QLineEdit", "001011XX"},
        {"Button1", "QPushButton", "Закрыть"},
    };
    expectControls(f.w, std::begin(controls), std::end(controls));
    EXPECT_EQ(f.w.windowTitle(), u("Перееключатели !!!"));
    EXPECT_TRUE(f.ui.Edit1->isReadOnly());
    EXPECT_TRUE(f.ui.Edit2->isReadOnly());
    EXPECT_EQ(f.w.minimumSize(), f.w.maximumSize());
    expectCaptionsFit(f.w);
    expectNoOverlaps(f.w);
    // The longest switch setting a device reports fits its field.
    const QFontMetrics fm(f.ui.Edit1->font());
    EXPECT_LE(fm.horizontalAdvance(QStringLiteral("00101111")),
              f.ui.Edit1->width() -
                  2 * f.ui.Edit1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) - 4);
}

TEST(CheckWindows, StatusWindow) {
    StatusForm f;
    const Control controls[] = {
        {"Memo1", "QPlainTextEdit", nullptr},
        {"Button1", "QPushButton", "Закрыть"},
    };
    expectControls(f.w, std::begin(controls), std::end(controls));
    EXPECT_EQ(f.w.windowTitle(), u("Некорректное состояние Veltor TR7042K"));
    EXPECT_TRUE(f.ui.Memo1->isReadOnly());
    EXPECT_TRUE(f.ui.Memo1->toPlainText().isEmpty());
    EXPECT_NE(f.w.minimumSize(), f.w.maximumSize()) << "this window can be resized";
    // The longest finding fits on one line of the memo.
    const QFontMetrics fm(f.ui.Memo1->font());
    EXPECT_LT(fm.horizontalAdvance(u("Фискальная память не форматирована")),
              f.ui.Memo1->viewport()->width());
    expectCaptionsFit(f.w);
    expectNoOverlaps(f.w);
}

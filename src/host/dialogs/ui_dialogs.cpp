// The shell's own dialogs: about, keyboard picture, colours, tape head.
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/romfiles.h"
#include "devices/screen.h"
#include "host/dialogs/ui.h"
#include "host/dialogs/ui_seam.h"
#include "host/platform/host_joystick.h"

namespace {

constexpr int HEAD_LEVEL_MAX = 127;
constexpr int HEAD_TICK = 7;

QDialog* make_dialog(QWidget* owner, const char* title)
{
    auto* dialog = new QDialog(owner);
    dialog->setWindowTitle(QString::fromUtf8(title));
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    return dialog;
}

QDialogButtonBox* add_buttons(QDialog* dialog, QDialogButtonBox::StandardButtons which)
{
    auto* box = new QDialogButtonBox(which, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

QColor host_colour(uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

uint32_t bgr_of(const QColor& colour)
{
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

QString colour_field_text(uint32_t colour)
{
    return QString::fromStdString(ui_colour_text(colour));
}

uint32_t colour_field_value(const QLineEdit* field)
{
    uint32_t value = 0;
    ui_colour_from_text(field->text().toLatin1().constData(), &value);
    return value;
}

// One Primo key: its caption with and without the shift.
struct key_cap {
    const char* plain;
    const char* shifted;
    int width;   // in quarter key widths
};

constexpr key_cap row0[] = {
    {"1", "!", 4}, {"2", "\"", 4}, {"3", "#", 4}, {"4", "$", 4}, {"5", "%", 4},
    {"6", "&", 4}, {"7", "'", 4}, {"8", "(", 4}, {"9", ")", 4}, {"0", "", 4},
    {"ö", "Ö", 4}, {"ü", "Ü", 4}, {"ó", "Ó", 4}, {"BS", "", 6},
};
constexpr key_cap row1[] = {
    {"TAB", "", 6}, {"q", "Q", 4}, {"w", "W", 4}, {"e", "E", 4}, {"r", "R", 4},
    {"t", "T", 4}, {"z", "Z", 4}, {"u", "U", 4}, {"i", "I", 4}, {"o", "O", 4},
    {"p", "P", 4}, {"ő", "Ő", 4}, {"ú", "Ú", 4}, {"^", "", 4},
};
constexpr key_cap row2[] = {
    {"CAPS", "", 7}, {"a", "A", 4}, {"s", "S", 4}, {"d", "D", 4}, {"f", "F", 4},
    {"g", "G", 4}, {"h", "H", 4}, {"j", "J", 4}, {"k", "K", 4}, {"l", "L", 4},
    {"é", "É", 4}, {"á", "Á", 4}, {"ű", "Ű", 4}, {"RETURN", "", 7},
};
constexpr key_cap row3[] = {
    {"SHIFT", "", 5}, {"í", "Í", 4}, {"y", "Y", 4}, {"x", "X", 4}, {"c", "C", 4},
    {"v", "V", 4}, {"b", "B", 4}, {"n", "N", 4}, {"m", "M", 4}, {",", "<", 4},
    {".", ">", 4}, {"-", "=", 4}, {";", "+", 4}, {"/", "?", 4}, {"*", ":", 4},
};
constexpr key_cap row4[] = {
    {"CTRL", "", 6}, {"CLS", "", 6}, {"", "", 32}, {"↓", "", 6}, {"→", "", 6},
};

template <size_t N>
void add_key_row(QGridLayout* grid, int row, const key_cap (&keys)[N])
{
    int column = 0;
    for (const key_cap& key : keys) {
        QString caption = QString::fromUtf8(key.plain);
        if (*key.shifted) caption = QString::fromUtf8(key.shifted) + "\n" + caption;
        caption.replace('&', QStringLiteral("&&"));   // a caption, not a mnemonic
        auto* button = new QPushButton(caption);
        button->setFocusPolicy(Qt::NoFocus);
        button->setMinimumSize(key.width * 9, 40);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        grid->addWidget(button, row, column, 1, key.width);
        column += key.width;
    }
}

} // namespace

std::string ui_colour_text(uint32_t colour)
{
    char full[9];
    std::snprintf(full, sizeof full, "%08X", colour);
    return full + 2;
}

bool ui_colour_from_text(const char* text, uint32_t* colour)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (*end != '\0' || end - text > 6 || *text == '-' || *text == '+') return false;
    *colour = static_cast<uint32_t>(value);
    return true;
}

void ui_about_dialog(QWidget* owner)
{
    QDialog* dialog = make_dialog(owner, "A programról...");
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(QString::fromUtf8("Brevan - Primo emulátor, %1").arg(BREVAN_VERSION)));
    layout->addWidget(new QLabel(QString::fromUtf8(
        "Szabad szoftver: a GNU General Public License 2. vagy (választás szerint)\n"
        "bármely későbbi változata szerint terjeszthető és módosítható.\n"
        "Mindenféle garancia nélkül; a részletek a LICENSE állományban.")));
    QString roms;
    for (int model = 0; model < 8; ++model)
        roms += QString::fromStdString(romfiles_model_source(model)) + "\n";
    layout->addWidget(new QLabel(roms.trimmed()));
    const char* controller = host_joystick_name();
    layout->addWidget(new QLabel(controller ? QString::fromUtf8("Botkormány: %1").arg(QString::fromUtf8(controller))
                                            : QString::fromUtf8("Botkormány: a numerikus billentyűzet (8 4 6 2, tűz: 0)")));
    layout->addWidget(add_buttons(dialog, QDialogButtonBox::Ok));
    ui_run_dialog(*dialog);
    delete dialog;
}

void ui_show_help(QWidget* owner, const char* path)
{
    static QPointer<QDialog> window;
    QFile file(QString::fromLocal8Bit(path ? path : ""));
    if (!path || !*path || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::warning(owner, QString::fromUtf8("Segítség"),
                             QString::fromUtf8("A leírás (Olvassel.txt) nem található."));
        return;
    }
    if (!window) {
        window = make_dialog(owner, "Segítség - Olvassel.txt");
        window->setObjectName("help");
        window->setAttribute(Qt::WA_DeleteOnClose, true);
        auto* layout = new QVBoxLayout(window);
        auto* text = new QPlainTextEdit(window);
        text->setReadOnly(true);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        const QFontMetrics metrics(text->font());
        text->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('x')) * 82, metrics.lineSpacing() * 36);
        layout->addWidget(text);
        layout->addWidget(add_buttons(window, QDialogButtonBox::Close));
        QObject::connect(window->findChild<QDialogButtonBox*>(), &QDialogButtonBox::rejected, window.data(),
                         &QDialog::close);
    }
    window->findChild<QPlainTextEdit*>()->setPlainText(QString::fromUtf8(file.readAll()));
    window->show();
    window->raise();
    window->activateWindow();
}

void ui_show_keyboard(QWidget* owner)
{
    QDialog* dialog = make_dialog(owner, "Primo B tasztatúra-kiosztás");
    auto* layout = new QVBoxLayout(dialog);
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    add_key_row(grid, 0, row0);
    add_key_row(grid, 1, row1);
    add_key_row(grid, 2, row2);
    add_key_row(grid, 3, row3);
    add_key_row(grid, 4, row4);
    layout->addLayout(grid);
    layout->addWidget(add_buttons(dialog, QDialogButtonBox::Ok));
    ui_run_dialog(*dialog);
    delete dialog;
}

int ui_choose_colors(QWidget* owner)
{
    QDialog* dialog = make_dialog(owner, "Primo színek");
    auto* grid = new QGridLayout(dialog);
    const auto* hex = new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,6}"), dialog);

    struct field_row { const char* label; const char* name; const char* button; uint32_t colour; };
    const field_row rows[] = {
        {"&Háttér színe:", "paper", "&Választ", g_ColorPaper},
        {"&Karakterek színe:", "ink", "Vá&laszt", g_ColorInk},
        {"&Keret színe:", "border", "Vál&aszt", g_ColorBorder},
    };
    QLineEdit* fields[3] = {};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromUtf8(rows[i].label));
        auto* field = new QLineEdit(colour_field_text(rows[i].colour));
        field->setObjectName(rows[i].name);
        field->setValidator(hex);
        field->setMaxLength(6);
        label->setBuddy(field);
        auto* choose = new QPushButton(QString::fromUtf8(rows[i].button));
        QObject::connect(choose, &QPushButton::clicked, dialog, [dialog, field]() {
            const QColor start = host_colour(colour_field_value(field));
            const QColor chosen = QColorDialog::getColor(start, dialog, QString());
            field->setText(colour_field_text(bgr_of(chosen.isValid() ? chosen : start)));
        });
        grid->addWidget(label, i, 0);
        grid->addWidget(field, i, 1);
        grid->addWidget(choose, i, 2);
        fields[i] = field;
    }
    auto* palette = new QComboBox;
    palette->setObjectName("palette");
    palette->addItems({QString::fromUtf8("Eredeti"), QString::fromUtf8("Utánépített"),
                       QString::fromUtf8("Utánépített; B0 kapuzva")});
    palette->setCurrentIndex(g_ColorPalette >= 0 && g_ColorPalette <= 2 ? g_ColorPalette : 0);
    grid->addWidget(new QLabel(QString::fromUtf8("Paletta változat:")), 3, 0);
    grid->addWidget(palette, 3, 1, 1, 2);
    grid->addWidget(add_buttons(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel), 4, 0, 1, 3);

    const int ok = ui_run_dialog(*dialog);
    if (ok) {
        g_ColorPalette = palette->currentIndex() < 0 ? 0 : palette->currentIndex();
        g_ColorPaper = colour_field_value(fields[0]);
        g_ColorInk = colour_field_value(fields[1]);
        g_ColorBorder = colour_field_value(fields[2]);
    }
    delete dialog;
    return ok;
}

int ui_tape_adjust_head(QWidget* owner, uint8_t* level)
{
    if (!level) return 0;
    QDialog* dialog = make_dialog(owner, "Magnófej beállítása");
    auto* layout = new QHBoxLayout(dialog);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName("slider");
    slider->setRange(0, HEAD_LEVEL_MAX);
    slider->setTickInterval(HEAD_TICK);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setValue(*level & HEAD_LEVEL_MAX);
    auto* field = new QLineEdit(QString::number(slider->value()));
    field->setObjectName("level");
    QObject::connect(slider, &QSlider::valueChanged, field,
                     [field](int value) { field->setText(QString::number(value)); });
    layout->addWidget(slider, 1);
    layout->addWidget(field);
    layout->addWidget(add_buttons(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel));

    const int ok = ui_run_dialog(*dialog);
    if (ok) {
        bool number = false;
        const uint32_t typed = field->text().trimmed().toUInt(&number);
        *level = static_cast<uint8_t>((number ? typed : 0) & HEAD_LEVEL_MAX);
    }
    delete dialog;
    return ok;
}

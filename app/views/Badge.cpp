#include "Badge.hpp"

#include "AppActions.hpp"

#include "Links.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace tessary {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("Badge", text);
}

// The paragraph shared by the help texts of masked and cloud-only contents: where such files
// usually come from.
QString originParagraph() {
    return tr("Obvykle jde o soubory, které vznikly na jiném zařízení – na iPhonu, iPadu, jiném "
              "Macu nebo na ") +
           Links::icloudWeb() +
           tr(" – a na tento Mac se nikdy nestáhly. Nebo je macOS sám odložil do cloudu, když "
              "docházelo místo na disku (volba „Optimalizovat úložiště Macu“), případně jde o "
              "nový či přeinstalovaný Mac.");
}

bool isTrue(const std::optional<bool>& flag) {
    return flag.has_value() && *flag;
}

bool isFalse(const std::optional<bool>& flag) {
    return flag.has_value() && !*flag;
}

constexpr int paddingX = 6;
constexpr int paddingY = 1;

} // namespace

Badge Badge::masked() {
    return {tr("maskované jméno"), Style::warning,
            tr("iCloud v databázi neukazuje celá jména, jen první a poslední znak a počet "
               "skrytých znaků – například „D{7}s“ je „Downloads“.\n\nVarnelo skutečné jméno "
               "zjistí porovnáním se složkami na disku. U složek, které na tomto Macu nikdy "
               "nebyly otevřené, to nejde, protože jejich obsah na Macu není. ") +
                originParagraph() +
                tr("\n\nSkutečná jména zobrazíte tlačítkem „☁ Načíst složku z iCloudu“ u "
                   "nadřazené složky – stáhne se jen seznam souborů, ne jejich obsah. Velikost "
                   "je vždy přesná."),
            tr("Maskované jméno")};
}

std::vector<Badge> Badge::forNode(const NodeDTO& node, bool inDeleteList) {
    std::vector<Badge> badges;
    if (!node.resolved)
        badges.push_back(masked());
    const bool denied = node.isDir() && isTrue(node.denied);
    if (denied)
        badges.push_back(
            {tr("bez oprávnění"), Style::warning,
             tr("macOS aplikaci nedovolil do složky nahlédnout, takže se nepodařilo zjistit jména "
                "souborů uvnitř (velikost je přesná).\n\nPovolte přístup v Nastavení systému → "
                "Soukromí a zabezpečení → Plný přístup k disku (menu Sken → Oprávnění k "
                "souborům…) a klikněte na „Znovu porovnat“."),
             tr("Bez oprávnění")});
    // The two never stand together: the refusal is the cause worth naming.
    if (node.isDir() && isTrue(node.timeout) && !denied)
        badges.push_back(
            {tr("nestihlo se"), Style::warning,
             tr("iCloud Drive složku právě synchronizoval a její výpis se nestihl do 15 sekund. "
                "Aby sken nezamrzl, Varnelo ji přeskočil – obsah se proto počítá jako „jen v "
                "cloudu“.\n\nZkuste později „Znovu porovnat“ (%1).")
                 .arg(AppActions::keysText(AppActions::compareKeys())),
             tr("Nestihlo se")});
    const bool cloudOnlyDir = node.isDir() && isFalse(node.enumerated);
    if (cloudOnlyDir)
        badges.push_back({tr("jen v cloudu"), Style::cloud,
                          tr("Složka nebyla na tomto Macu nikdy otevřená – její obsah je uložený "
                             "jen v iCloudu a na disku nezabírá místo. Jména souborů uvnitř jsou "
                             "proto maskovaná.\n\n") +
                              originParagraph() +
                              tr("\n\nSeznam souborů načtete tlačítkem „☁ Načíst složku z "
                                 "iCloudu“ (stáhne se jen seznam, ne obsah)."),
                          tr("Jen v cloudu")});
    if (node.kind == ItemKind::doc && isTrue(node.dataless))
        badges.push_back({QStringLiteral("☁"), Style::cloud,
#ifdef __APPLE__
                          tr("Soubor je odložený v iCloudu (ve Finderu má ikonu obláčku) – "
                             "zabírá místo jen ve vaší kvótě iCloudu, na disku tohoto Macu nic. "
                             "Stáhne se, až ho otevřete."),
#else
                          tr("Soubor je odložený v iCloudu – zabírá místo jen ve vaší kvótě "
                             "iCloudu, na disku tohoto počítače nic. Stáhne se, až ho otevřete."),
#endif
                          tr("Jen v cloudu")});
    if (node.ambiguous)
        badges.push_back({QStringLiteral("?"), Style::neutral,
                          tr("Ve složce je víc souborů se stejným maskovaným jménem a podobnými "
                             "údaji, takže Varnelo nemohl s jistotou určit, který je který. "
                             "Zobrazené jméno je nejpravděpodobnější odhad.\n\nKvůli bezpečnosti "
#ifdef __APPLE__
                             "takovou položku nelze z aplikace smazat – použijte Finder."),
#else
                             "takovou položku nelze z aplikace smazat – použijte správce "
                             "souborů."),
#endif
                          tr("Jméno je odhad")});
    if (inDeleteList)
        badges.push_back({tr("ke smazání"), Style::danger,
                          tr("Položka je na seznamu ke smazání. Nic se zatím nesmazalo – smaže se "
                             "až tlačítkem „Přesunout do Koše…“ v pohledu Ke smazání. Odebrat ji "
                             "ze seznamu můžete červeným košem před názvem."),
                          tr("Na seznamu ke smazání")});
    if (node.isDir() && !cloudOnlyDir && node.unenum > 0)
        badges.push_back({QStringLiteral("☁ ") + Fmt::integer(node.unenum), Style::neutral,
                          tr("Tolik podsložek uvnitř nebylo na tomto Macu nikdy otevřených – "
                             "jejich obsah je jen v iCloudu a jména v nich jsou maskovaná. "
                             "Velikosti jsou přesto přesné.\n\n") +
                              originParagraph(),
                          tr("Neotevřené podsložky")});
    return badges;
}

QFont Badge::font(const QFont& base) {
    QFont small = base;
    small.setPointSizeF(base.pointSizeF() * 0.82);
    return small;
}

QSize Badge::size(const QFont& font) const {
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text) + 2 * paddingX, metrics.height() + 2 * paddingY};
}

QColor Badge::color() const {
    switch (style) {
    case Style::warning:
        return Tints::orange();
    case Style::cloud:
        return Tints::blue();
    case Style::danger:
        return Tints::red();
    case Style::neutral:
        break;
    }
    return Tints::secondary();
}

void Badge::paint(QPainter& painter, const QRect& rect, const QFont& font, bool hovering) const {
    const QColor tone = color();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Tints::withAlpha(tone, hovering ? 0.30 : 0.15));
    const qreal radius = rect.height() / 2.0;
    painter.drawRoundedRect(QRectF(rect), radius, radius);
    painter.setPen(tone);
    painter.setFont(font);
    painter.drawText(rect, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace tessary

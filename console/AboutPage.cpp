// "О программе" page: what the program is and which version this is.

#include "ExchangeLog.h"
#include "Mainform.h"

#ifndef TR_VERSION
#define TR_VERSION "0.0.0"
#endif

void TForm1::ShowAboutText() {
    Memo1->setHtml(
        QStringLiteral(
            "<p align=\"center\">&nbsp;</p>"
            "<p align=\"center\"><b>Тест регистратора расчетных операций TR7042K</b></p>"
            "<p align=\"center\">Версия %1</p>"
            "<p align=\"center\">&nbsp;</p>"
            "<p align=\"center\">Сервисная программа для проверки и обслуживания<br/>"
            "фискального регистратора Veltor TR7042K, подключенного к COM-порту.</p>"
            "<p align=\"center\">Полный тест с журналом, индикаторы клиента, денежный ящик,<br/>"
            "служебный внос и вынос, общая информация, отчеты,<br/>"
            "обрезка чека, звуковой сигнал и пароли операторов.</p>"
            "<p align=\"center\">Журнал обмена: %2</p>")
            .arg(QStringLiteral(TR_VERSION), ExchangeLogPath().toHtmlEscaped()));
}

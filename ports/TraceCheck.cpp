#include "TraceCheck.h"

#include "Printer.h"

#include <cstdlib>

std::string TraceTrouble(int traceState) {
    const char* file = std::getenv("TR7042K_TRACE");
    const std::string head = "трасса обмена не пишется в " + std::string(file ? file : "") + ": ";
    switch (traceState) {
    case PRINTER_TRACE_SYMLINK:
        return head + "это символическая ссылка, а по ссылкам трасса не пишется; укажите сам файл";
    case PRINTER_TRACE_NOT_FILE:
        return head + "это не обычный файл (папка, устройство или канал)";
    case PRINTER_TRACE_DENIED:
        return head + "нет прав на запись в файл или его папку";
    case PRINTER_TRACE_NO_FOLDER:
        return head + "нет такой папки";
    case PRINTER_TRACE_FAILED:
        return head + "файл не открывается";
    case PRINTER_TRACE_WRITE_FAILED:
        return head + "запись не удалась (диск заполнен?), трасса неполна";
    default:
        return {};
    }
}

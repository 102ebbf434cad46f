// The print dialog: GTK's print dialog over the printers CUPS knows.
#include <cups/cups.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include "DialogProgram.h"

namespace gadgetdialogs {

int KnownPrinters() {
    cups_dest_t* destinations = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &destinations);
    cupsFreeDests(count, destinations);
    return count;
}

std::optional<std::string> ChoosePrinter() {
    // The print service's printers only: no "print to file" or other
    // pseudo-printers of the toolkit.
    g_object_set(gtk_settings_get_default(), "gtk-print-backends", "cups", nullptr);
    GtkWidget* dialog = gtk_print_unix_dialog_new("Print", nullptr);
    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(GTK_PRINT_UNIX_DIALOG(dialog));
        chosen = printer != nullptr ? gtk_printer_get_name(printer) : "";
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace gadgetdialogs

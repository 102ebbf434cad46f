// The colour chooser: GTK's colour chooser dialog, its custom colour row
// filled from and read back into the caller's list through the toolkit's
// settings. It opens on its palette, where the custom row can be seen and
// picked from; its "+" button opens the editor (the device's "full"
// dialog has no separate form here).
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

#include "DialogProgram.h"

namespace gadgetdialogs {

namespace {

constexpr char kSchema[] = "org.gtk.Settings.ColorChooser";

GdkRGBA ToRgba(uint32_t rgb) {
    return GdkRGBA{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1.0};
}

uint32_t Channel(double value) { return static_cast<uint32_t>(std::lround(CLAMP(value, 0.0, 1.0) * 255.0)); }

uint32_t FromRgba(double red, double green, double blue) {
    return Channel(red) << 16 | Channel(green) << 8 | Channel(blue);
}

void StoreCustom(GSettings* settings, const std::vector<uint32_t>& custom) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(dddd)"));
    for (uint32_t color : custom) {
        const GdkRGBA rgba = ToRgba(color);
        g_variant_builder_add(&builder, "(dddd)", rgba.red, rgba.green, rgba.blue, 1.0);
    }
    g_settings_set_value(settings, "custom-colors", g_variant_builder_end(&builder));
}

std::vector<uint32_t> LoadCustom(GSettings* settings) {
    std::vector<uint32_t> custom;
    GVariant* list = g_settings_get_value(settings, "custom-colors");
    GVariantIter iter;
    g_variant_iter_init(&iter, list);
    double red = 0, green = 0, blue = 0, alpha = 0;
    while (g_variant_iter_next(&iter, "(dddd)", &red, &green, &blue, &alpha)) {
        // The toolkit may list the colour it opened on twice: once when it
        // opened, once when it was confirmed.
        const uint32_t color = FromRgba(red, green, blue);
        if (std::find(custom.begin(), custom.end(), color) == custom.end()) custom.push_back(color);
    }
    g_variant_unref(list);
    return custom;
}

}  // namespace

ColorAnswer ChooseColor(uint32_t initial, const std::vector<uint32_t>& custom) {
    GSettings* settings = g_settings_new(kSchema);
    StoreCustom(settings, custom);

    GtkWidget* dialog = gtk_color_chooser_dialog_new("Colour", nullptr);
    GtkColorChooser* chooser = GTK_COLOR_CHOOSER(dialog);
    gtk_color_chooser_set_use_alpha(chooser, FALSE);
    const GdkRGBA start = ToRgba(initial);
    gtk_color_chooser_set_rgba(chooser, &start);

    ColorAnswer answer;
    // The toolkit puts the colour it opens on into its custom row at once
    // (unless its palette has it); only a confirmed dialog hands its custom
    // colours back.
    answer.custom = custom;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        GdkRGBA chosen;
        gtk_color_chooser_get_rgba(chooser, &chosen);
        answer.chosen = FromRgba(chosen.red, chosen.green, chosen.blue);
        answer.custom = LoadCustom(settings);
    }
    gtk_widget_destroy(dialog);
    g_object_unref(settings);
    return answer;
}

}  // namespace gadgetdialogs

// A GTK window with a GtkEntry ("entry") and a GtkTextView ("view"), driven over stdin like
// QtFieldsApp (same commands and answers). Its application id is "ai.sayloom.TestGtkFields".

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

GtkApplication* application = nullptr;
GtkWidget* window = nullptr;
GtkWidget* entry = nullptr;
GtkWidget* view = nullptr;

void reply(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string decode(const std::string& encoded) {
    gchar* text = g_uri_unescape_string(encoded.c_str(), nullptr);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string encode(const char* text) {
    gchar* escaped = g_uri_escape_string(text, nullptr, FALSE);
    std::string result = escaped;
    g_free(escaped);
    return result;
}

std::string fieldText(bool isEntry) {
    if (isEntry)
        return gtk_entry_get_text(GTK_ENTRY(entry));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

gint64 focusStarted = 0;

gboolean onFocusPoll(gpointer data) {
    auto* field = static_cast<GtkWidget*>(data);
    if (focusStarted == 0)
        focusStarted = g_get_monotonic_time();
    const bool focused = gtk_window_is_active(GTK_WINDOW(window)) && gtk_widget_has_focus(field);
    if (focused || g_get_monotonic_time() - focusStarted > 5000000) {
        reply(focused ? "ok" : "error not focused");
        focusStarted = 0;
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

void handle(const std::vector<std::string>& words) {
    const std::string command = words.empty() ? "" : words[0];
    const bool isEntry = words.size() > 1 && words[1] == "entry";
    GtkWidget* field = isEntry ? entry : view;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    if (command == "focus") {
        gtk_window_present(GTK_WINDOW(window));
        gtk_widget_grab_focus(field);
        // Answer once the window really has the keyboard focus.
        g_timeout_add(10, onFocusPoll, field);
    } else if (command == "set" && words.size() > 1) {
        const std::string value = words.size() > 2 ? decode(words[2]) : std::string();
        if (isEntry)
            gtk_entry_set_text(GTK_ENTRY(entry), value.c_str());
        else
            gtk_text_buffer_set_text(buffer, value.c_str(), -1);
        reply("ok");
    } else if ((command == "caret" || command == "select") && words.size() > 2) {
        const int from = std::atoi(words[2].c_str());
        const int to = command == "select" && words.size() > 3 ? std::atoi(words[3].c_str()) : from;
        if (isEntry) {
            gtk_editable_select_region(GTK_EDITABLE(entry), from, to);
            if (from == to)
                gtk_editable_set_position(GTK_EDITABLE(entry), from);
        } else {
            GtkTextIter start, end;
            gtk_text_buffer_get_iter_at_offset(buffer, &start, from);
            gtk_text_buffer_get_iter_at_offset(buffer, &end, to);
            gtk_text_buffer_select_range(buffer, &end, &start);
        }
        reply("ok");
    } else if (command == "get") {
        reply("text " + encode(fieldText(isEntry).c_str()));
    } else if (command == "quit") {
        g_application_quit(G_APPLICATION(application));
    } else {
        reply("error unknown command");
    }
}

gboolean onInput(GIOChannel* channel, GIOCondition, gpointer) {
    gchar* line = nullptr;
    gsize length = 0;
    if (g_io_channel_read_line(channel, &line, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL) {
        g_application_quit(G_APPLICATION(application));
        return FALSE;
    }
    std::vector<std::string> words;
    gchar** parts = g_strsplit(g_strstrip(line), " ", -1);
    for (gchar** part = parts; *part; ++part)
        words.emplace_back(*part);
    g_strfreev(parts);
    g_free(line);
    handle(words);
    return TRUE;
}

void onActivate(GtkApplication*, gpointer) {
    window = gtk_application_window_new(application);
    gtk_window_set_title(GTK_WINDOW(window), "Sayloom GTK fields");
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 320);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    entry = gtk_entry_new();
    view = gtk_text_view_new();
    gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
    // Terminals paste with Ctrl+Shift+V: the text view takes that shortcut too, so that it can
    // stand in for a terminal.
    GtkBindingSet* bindings = gtk_binding_set_by_class(GTK_TEXT_VIEW_GET_CLASS(view));
    for (const guint key : {GDK_KEY_v, GDK_KEY_V})
        gtk_binding_entry_add_signal(bindings, key,
                                     GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK),
                                     "paste-clipboard", 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);

    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP), onInput, nullptr);
    reply("ready");
}

} // namespace

int main(int argc, char** argv) {
    application = gtk_application_new("ai.sayloom.TestGtkFields", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(onActivate), nullptr);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    g_object_unref(application);
    return status;
}

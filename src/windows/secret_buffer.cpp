// SPDX-License-Identifier: MIT
#include "secret_buffer.hpp"

#include <algorithm>
#include <cstring>
#include <gtk/gtk.h>

namespace corvalen::windows {
namespace {

struct SecretBuffer {
    GtkEntryBuffer parent;
    char* text;     // the characters typed, UTF-8, NUL-terminated
    gsize bytes;    // of text, without the NUL
    gsize capacity; // of text and of shown
    guint length;   // characters in text
    char* shown;    // `length` times '*', what GTK gets
};

struct SecretBufferClass {
    GtkEntryBufferClass parent_class;
};

GtkEntryBufferClass* parent_class = nullptr;

SecretBuffer* secret(GtkEntryBuffer* buffer) {
    return reinterpret_cast<SecretBuffer*>(buffer);
}

// Makes room for `needed` bytes and a NUL in both strings; the old copy of
// the text is wiped before it is freed.
void reserve(SecretBuffer* self, gsize needed) {
    if (needed + 1 <= self->capacity) {
        return;
    }
    gsize capacity = std::max<gsize>(self->capacity * 2, 64);
    while (capacity < needed + 1) {
        capacity *= 2;
    }
    auto* text = static_cast<char*>(g_malloc0(capacity));
    auto* shown = static_cast<char*>(g_malloc0(capacity));
    if (self->text != nullptr) {
        std::memcpy(text, self->text, self->bytes + 1);
        std::memcpy(shown, self->shown, self->length + 1);
        explicit_bzero(self->text, self->capacity);
        g_free(self->text);
        g_free(self->shown);
    }
    self->text = text;
    self->shown = shown;
    self->capacity = capacity;
}

const char* get_text(GtkEntryBuffer* buffer, gsize* n_bytes) {
    SecretBuffer* self = secret(buffer);
    reserve(self, 0);
    if (n_bytes != nullptr) {
        *n_bytes = self->length;
    }
    return self->shown;
}

guint get_length(GtkEntryBuffer* buffer) {
    return secret(buffer)->length;
}

guint insert_text(GtkEntryBuffer* buffer, guint position, const char* chars, guint n_chars) {
    SecretBuffer* self = secret(buffer);
    const auto added = static_cast<gsize>(g_utf8_offset_to_pointer(chars, n_chars) - chars);
    reserve(self, std::max(self->bytes + added, gsize{self->length} + n_chars));
    position = std::min(position, self->length);
    char* at = g_utf8_offset_to_pointer(self->text, position);
    std::memmove(at + added, at, self->bytes + 1 - static_cast<gsize>(at - self->text));
    std::memcpy(at, chars, added);
    self->bytes += added;
    std::memset(self->shown + self->length, '*', n_chars);
    self->length += n_chars;
    self->shown[self->length] = '\0';
    // What the field's listeners are told was inserted: stars too.
    gtk_entry_buffer_emit_inserted_text(buffer, position, self->shown, n_chars);
    return n_chars;
}

// GTK takes the characters out only after the handlers of "deleted-text"
// have seen them, in the signal's own handler: delete_text announces, and
// deleted_text removes.
guint delete_text(GtkEntryBuffer* buffer, guint position, guint n_chars) {
    SecretBuffer* self = secret(buffer);
    position = std::min(position, self->length);
    n_chars = std::min(n_chars, self->length - position);
    if (n_chars > 0) {
        gtk_entry_buffer_emit_deleted_text(buffer, position, n_chars);
    }
    return n_chars;
}

void deleted_text(GtkEntryBuffer* buffer, guint position, guint n_chars) {
    SecretBuffer* self = secret(buffer);
    position = std::min(position, self->length);
    n_chars = std::min(n_chars, self->length - position);
    if (n_chars == 0) {
        return;
    }
    char* from = g_utf8_offset_to_pointer(self->text, position);
    char* to = g_utf8_offset_to_pointer(from, n_chars);
    const auto removed = static_cast<gsize>(to - from);
    std::memmove(from, to, self->bytes + 1 - static_cast<gsize>(to - self->text));
    self->bytes -= removed;
    explicit_bzero(self->text + self->bytes + 1, removed);
    self->length -= n_chars;
    self->shown[self->length] = '\0';
    g_object_notify(G_OBJECT(buffer), "text");
    g_object_notify(G_OBJECT(buffer), "length");
}

void finalize(GObject* object) {
    SecretBuffer* self = secret(GTK_ENTRY_BUFFER(object));
    if (self->text != nullptr) {
        explicit_bzero(self->text, self->capacity);
    }
    g_free(self->text);
    g_free(self->shown);
    G_OBJECT_CLASS(parent_class)->finalize(object);
}

void class_init(gpointer klass, gpointer /*data*/) {
    parent_class = GTK_ENTRY_BUFFER_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = finalize;
    auto* buffer_class = GTK_ENTRY_BUFFER_CLASS(klass);
    buffer_class->get_text = get_text;
    buffer_class->get_length = get_length;
    buffer_class->insert_text = insert_text;
    buffer_class->delete_text = delete_text;
    buffer_class->deleted_text = deleted_text;
}

GType secret_buffer_type() {
    static const GType type = g_type_register_static_simple(
        GTK_TYPE_ENTRY_BUFFER, "CorvalenSecretBuffer", sizeof(SecretBufferClass), class_init,
        sizeof(SecretBuffer), nullptr, G_TYPE_FLAG_NONE);
    return type;
}

} // namespace

Glib::RefPtr<Gtk::EntryBuffer> make_secret_buffer() {
    return Glib::wrap(GTK_ENTRY_BUFFER(g_object_new(secret_buffer_type(), nullptr)));
}

std::string secret_text(const Gtk::EntryBuffer& buffer) {
    g_return_val_if_fail(G_TYPE_CHECK_INSTANCE_TYPE(buffer.gobj(), secret_buffer_type()),
                         std::string());
    const auto* self = reinterpret_cast<const SecretBuffer*>(buffer.gobj());
    return self->text == nullptr ? std::string() : std::string(self->text, self->bytes);
}

} // namespace corvalen::windows

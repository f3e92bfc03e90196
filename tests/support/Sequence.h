#pragma once
// Sequence tables, after the message-sequence tests of Wine's comctl32: a test records what the
// code under test did as texts in Effects, one per effect, in order; each row of a table is an
// event and the effects expected of it.
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

extern std::vector<std::string> Effects;

using Event = std::function<void()>;

// Expected texts may hold several effects, "; " between them; one ending in '*' matches any end.
struct Row {
    Event Do;
    std::vector<std::string> Expect;
    Row(Event event, std::initializer_list<std::string> texts = {});
};
using Rows = std::vector<Row>;
Rows operator+(Rows a, const Rows& b);

// Events for rows: a field set to a value (a text is copied when the row is made, into a string
// of the program's own heap for a char*), and several events as one.
template <typename T, typename V>
requires(!std::is_same_v<T, char*>) Event Let(T& field, V value) {
    return [&field, value] { field = static_cast<T>(value); };
}
Event Let(char*& field, const char* value);
Event All(std::vector<Event> events);

// Runs the rows in order, each after clearing Effects, and fails for every row whose effects
// differ, listing both; the effects of the last row stay in Effects.
void Sequence(const Rows& rows);

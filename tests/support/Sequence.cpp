#include "support/Sequence.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/NString.h"

std::vector<std::string> Effects;

Row::Row(Event event, std::initializer_list<std::string> texts) : Do(std::move(event)) {
    for (const std::string& text : texts)
        for (size_t at = 0, end; at < text.size(); at = end + 2) {
            end = std::min(text.find("; ", at), text.size());
            if (end > at) Expect.push_back(text.substr(at, end - at));
        }
}

Event Let(char*& field, const char* value) {
    return [&field, text = std::string(value ? value : "")] {
        ReplaceString(field, NewString(text.c_str()));
    };
}

Event All(std::vector<Event> events) {
    return [events] {
        for (const Event& event : events)
            event();
    };
}

Rows operator+(Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

static bool Matches(const std::string& expected, const std::string& got) {
    return expected.ends_with('*') ? got.starts_with(expected.substr(0, expected.size() - 1))
                                   : expected == got;
}

static std::string Listed(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& t : texts)
        list += "\n    " + t;
    return list;
}

void Sequence(const Rows& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        Effects.clear();
        rows[i].Do();
        const std::vector<std::string>& e = rows[i].Expect;
        if (!std::equal(e.begin(), e.end(), Effects.begin(), Effects.end(), Matches))
            ADD_FAILURE() << "row " << i + 1 << " expected:" << Listed(e)
                          << "\n  but was:" << Listed(Effects);
    }
}

// Stand-ins for the public JSON benchmark documents, for a checkout without
// them: documents of the same shapes and about the same sizes, generated
// from a fixed seed so that every run measures the same text.
//   - geometryDocument: one polygon feature of 480 rings, 56,000 coordinate
//     pairs written with 15 to 17 significant digits (canada.json's shape);
//   - tweetDocument: 200 statuses with users, entities, mixed ASCII,
//     Japanese and emoji text, ids beyond 2^53, indented (twitter.json's);
//   - catalogueDocument: events, performances with prices and seat
//     categories, and name tables keyed by numeric ids, indented, many
//     integers and nulls (citm_catalog.json's).
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// A small JSON text writer: compact, or indented by `indent` spaces.
class JSONTextWriter {
 public:
  explicit JSONTextWriter(int indent = 0) : indent_(indent) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  void key(std::string_view k) {
    separate();
    quoted(k);
    out_ += indent_ ? ": " : ":";
    afterKey_ = true;
  }
  void string(std::string_view s) {
    separate();
    quoted(s);
  }
  void integer(long long v) { raw(std::to_string(v)); }
  void real(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    raw(text);
  }
  void boolean(bool v) { raw(v ? "true" : "false"); }
  void null() { raw("null"); }
  void raw(std::string_view text) {
    separate();
    out_ += text;
  }
  std::string take() { return std::move(out_); }

 private:
  void open(char c) {
    separate();
    out_ += c;
    ++depth_;
    first_ = true;
  }
  void close(char c) {
    --depth_;
    if (!first_) newline();
    out_ += c;
    first_ = false;
  }
  void separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (depth_ == 0) return;
    if (!first_) out_ += ',';
    newline();
    first_ = false;
  }
  void newline() {
    if (!indent_) return;
    out_ += '\n';
    out_.append(static_cast<size_t>(depth_ * indent_), ' ');
  }
  void quoted(std::string_view s) {
    out_ += '"';
    for (char c : s) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (c == '\n') {
        out_ += "\\n";
      } else {
        out_ += c;
      }
    }
    out_ += '"';
  }

  std::string out_;
  int indent_;
  int depth_ = 0;
  bool first_ = true;
  bool afterKey_ = false;
};

inline std::string geometryDocument() {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> step(-0.01, 0.01);
  JSONTextWriter w;
  w.beginObject();
  w.key("type");
  w.string("FeatureCollection");
  w.key("features");
  w.beginArray();
  w.beginObject();
  w.key("type");
  w.string("Feature");
  w.key("properties");
  w.beginObject();
  w.key("name");
  w.string("Generated");
  w.endObject();
  w.key("geometry");
  w.beginObject();
  w.key("type");
  w.string("Polygon");
  w.key("coordinates");
  w.beginArray();
  double x = -65.613617, y = 43.420273;
  for (int ring = 0; ring < 480; ++ring) {
    w.beginArray();
    const double firstX = x, firstY = y;
    const int points = 116 + ring % 3;
    for (int p = 0; p < points; ++p) {
      // Six decimals, written back with 17 significant digits the way a
      // double holding them prints, as the public document has them.
      if (p + 1 < points) {
        x = static_cast<double>(static_cast<long long>((x + step(random)) * 1e6)) / 1e6;
        y = static_cast<double>(static_cast<long long>((y + step(random)) * 1e6)) / 1e6;
      }
      w.beginArray();
      w.real(p + 1 < points ? x : firstX);  // rings close on their first point
      w.real(p + 1 < points ? y : firstY);
      w.endArray();
    }
    w.endArray();
  }
  w.endArray();
  w.endObject();
  w.endObject();
  w.endArray();
  w.endObject();
  return w.take();
}

inline std::string tweetDocument() {
  std::mt19937_64 random(2);
  auto pick = [&](const std::vector<std::string>& from) -> const std::string& { return from[random() % from.size()]; };
  const std::vector<std::string> words = {"今日は", "ありがとう", "名前", "第一印象", "好きなところ", "思い出", "一言",
                                          "morning", "game", "the", "new", "@friend", "#event", "❤️", "😊", "✨",
                                          "とりあえず", "よろしく", "LINE", "RT"};
  const std::vector<std::string> languages = {"ja", "en", "es", "fr"};
  const std::vector<std::string> colors = {"C0DEED", "000000", "FFFFFF", "1A1B1F", "0084B4", "DDEEF6"};
  auto sentence = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += pick(words) + (random() % 4 == 0 ? "\n" : " ");
    return text;
  };
  auto user = [&](JSONTextWriter& w) {
    const long long id = 100000000 + static_cast<long long>(random() % 2000000000);
    w.beginObject();
    w.key("id");
    w.integer(id);
    w.key("id_str");
    w.string(std::to_string(id));
    w.key("name");
    w.string(sentence(1));
    w.key("screen_name");
    w.string("user" + std::to_string(id % 100000));
    w.key("location");
    w.string(random() % 2 ? "東京" : "");
    w.key("description");
    w.string(sentence(12));
    w.key("url");
    w.null();
    w.key("entities");
    w.beginObject();
    w.key("description");
    w.beginObject();
    w.key("urls");
    w.beginArray();
    w.endArray();
    w.endObject();
    w.endObject();
    w.key("protected");
    w.boolean(false);
    for (const char* count : {"followers_count", "friends_count", "listed_count", "favourites_count", "statuses_count"}) {
      w.key(count);
      w.integer(static_cast<long long>(random() % 50000));
    }
    w.key("created_at");
    w.string("Sun Aug 31 00:29:15 +0000 2014");
    w.key("utc_offset");
    w.integer(32400);
    w.key("time_zone");
    w.string("Tokyo");
    for (const char* flag : {"geo_enabled", "verified", "contributors_enabled", "is_translator", "default_profile",
                             "following", "follow_request_sent", "notifications"}) {
      w.key(flag);
      w.boolean(random() % 3 == 0);
    }
    w.key("lang");
    w.string(pick(languages));
    for (const char* color : {"profile_background_color", "profile_link_color", "profile_sidebar_border_color",
                              "profile_sidebar_fill_color", "profile_text_color"}) {
      w.key(color);
      w.string(pick(colors));
    }
    w.key("profile_image_url_https");
    w.string("https://pbs.example/profile_images/" + std::to_string(id) + "/normal.jpeg");
    w.endObject();
  };
  auto status = [&](JSONTextWriter& w, bool withRetweet) {
    const unsigned long long id = 505874924095815681ULL + random() % 1000000;
    w.beginObject();
    w.key("metadata");
    w.beginObject();
    w.key("result_type");
    w.string("recent");
    w.key("iso_language_code");
    w.string(pick(languages));
    w.endObject();
    w.key("created_at");
    w.string("Sun Aug 31 00:29:15 +0000 2014");
    w.key("id");
    w.integer(static_cast<long long>(id));
    w.key("id_str");
    w.string(std::to_string(id));
    w.key("text");
    w.string(sentence(20));
    w.key("source");
    w.string("<a href=\"http://client.example/download/iphone\" rel=\"nofollow\">Client for iPhone</a>");
    w.key("truncated");
    w.boolean(false);
    for (const char* reply : {"in_reply_to_status_id", "in_reply_to_status_id_str", "in_reply_to_user_id"}) {
      w.key(reply);
      w.null();
    }
    w.key("user");
    user(w);
    for (const char* empty : {"geo", "coordinates", "place", "contributors"}) {
      w.key(empty);
      w.null();
    }
    w.key("retweet_count");
    w.integer(static_cast<long long>(random() % 100));
    w.key("favorite_count");
    w.integer(static_cast<long long>(random() % 100));
    w.key("entities");
    w.beginObject();
    w.key("hashtags");
    w.beginArray();
    w.endArray();
    w.key("urls");
    w.beginArray();
    w.endArray();
    w.key("user_mentions");
    w.beginArray();
    w.beginObject();
    w.key("screen_name");
    w.string("friend");
    w.key("id");
    w.integer(866260188);
    w.key("indices");
    w.beginArray();
    w.integer(0);
    w.integer(9);
    w.endArray();
    w.endObject();
    w.endArray();
    w.endObject();
    w.key("favorited");
    w.boolean(false);
    w.key("retweeted");
    w.boolean(false);
    w.key("lang");
    w.string(pick(languages));
    if (withRetweet) {
      w.key("retweeted_status");
      // (no nested retweet inside a retweet)
      w.beginObject();
      w.key("text");
      w.string(sentence(15));
      w.key("user");
      user(w);
      w.endObject();
    }
    w.endObject();
  };
  JSONTextWriter w(2);
  w.beginObject();
  w.key("statuses");
  w.beginArray();
  for (int i = 0; i < 200; ++i) status(w, i % 3 == 0);
  w.endArray();
  w.key("search_metadata");
  w.beginObject();
  w.key("completed_in");
  w.real(0.087);
  w.key("max_id");
  w.integer(505874924095815681LL);
  w.key("query");
  w.string("%E4%B8%80");
  w.key("count");
  w.integer(100);
  w.endObject();
  w.endObject();
  return w.take();
}

inline std::string catalogueDocument() {
  std::mt19937_64 random(3);
  const std::vector<std::string> names = {"Arrière-scène central", "1er balcon central", "2ème balcon bergerie cour",
                                          "Orchestre jardin", "Zone physique secrète", "1ère catégorie",
                                          "Abonné", "Orchestre symphonique", "Quatuor à cordes", "Récital"};
  auto id = [&] { return 100000000 + static_cast<long long>(random() % 300000000); };
  std::vector<long long> areas(17), categories(64), events(184);
  for (auto& a : areas) a = id();
  for (auto& c : categories) c = id();
  for (auto& e : events) e = id();

  JSONTextWriter w(4);
  w.beginObject();
  auto table = [&](const char* name, const std::vector<long long>& ids) {
    w.key(name);
    w.beginObject();
    for (long long i : ids) {
      w.key(std::to_string(i));
      w.string(names[random() % names.size()]);
    }
    w.endObject();
  };
  table("areaNames", areas);
  w.key("blockNames");
  w.beginObject();
  w.endObject();
  w.key("events");
  w.beginObject();
  for (long long e : events) {
    w.key(std::to_string(e));
    w.beginObject();
    w.key("description");
    w.null();
    w.key("id");
    w.integer(e);
    w.key("logo");
    if (random() % 2) {
      w.string("/images/UE0AAAAACEKo6QAAAAZDSVRN");
    } else {
      w.null();
    }
    w.key("name");
    w.string(names[random() % names.size()]);
    w.key("subTopicIds");
    w.beginArray();
    for (int i = 0; i < 2; ++i) w.integer(id());
    w.endArray();
    w.key("subjectCode");
    w.null();
    w.key("subtitle");
    w.null();
    w.key("topicIds");
    w.beginArray();
    for (int i = 0; i < 2; ++i) w.integer(id());
    w.endArray();
    w.endObject();
  }
  w.endObject();
  w.key("performances");
  w.beginArray();
  for (int p = 0; p < 243; ++p) {
    w.beginObject();
    w.key("eventId");
    w.integer(events[random() % events.size()]);
    w.key("id");
    w.integer(id());
    w.key("logo");
    w.null();
    w.key("name");
    w.null();
    w.key("prices");
    w.beginArray();
    const int priceCount = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < priceCount; ++i) {
      w.beginObject();
      w.key("amount");
      w.integer(static_cast<long long>(random() % 100000));
      w.key("audienceSubCategoryId");
      w.integer(337100890);
      w.key("seatCategoryId");
      w.integer(categories[random() % categories.size()]);
      w.endObject();
    }
    w.endArray();
    w.key("seatCategories");
    w.beginArray();
    for (int i = 0; i < priceCount; ++i) {
      w.beginObject();
      w.key("areas");
      w.beginArray();
      const int areaCount = 8 + static_cast<int>(random() % 8);
      for (int a = 0; a < areaCount; ++a) {
        w.beginObject();
        w.key("areaId");
        w.integer(areas[random() % areas.size()]);
        w.key("blockIds");
        w.beginArray();
        w.endArray();
        w.endObject();
      }
      w.endArray();
      w.key("seatCategoryId");
      w.integer(categories[random() % categories.size()]);
      w.endObject();
    }
    w.endArray();
    w.key("seatMapImage");
    w.null();
    w.key("start");
    w.integer(1372701600000LL + static_cast<long long>(random() % 100000000));
    w.key("venueCode");
    w.string("GRANDE_SALLE");
    w.endObject();
  }
  w.endArray();
  table("seatCategoryNames", categories);
  w.key("venueNames");
  w.beginObject();
  w.key("GRANDE_SALLE");
  w.string("Grande salle");
  w.endObject();
  w.endObject();
  return w.take();
}

}  // namespace bench

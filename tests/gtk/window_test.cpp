// SPDX-License-Identifier: MIT
// The search window on a display: the real plug-in, loaded as a host loads
// it, searching a local docseek-engine while a second thread looks at the
// private X server the way a user would (find, measure, screenshot, close,
// press Return).

#include <dlfcn.h>
#include <docseek/plugin.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <docseek/string_list.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/search_fixture.h"
#include "test_display.h"
#include "x_session.h"

namespace docseek::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kPlugin = DOCSEEK_BINARY_DIR "/lib/libdocseek.so";
const std::string kBanner = DOCSEEK_SOURCE_DIR "/src/resources/banner.jpg";

// The plug-in, never unloaded (GTK keeps registrations that must not dangle).
docseek_Getinfo_fn Getinfo() {
  static docseek_Getinfo_fn getinfo = [] {
    void* handle = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    return reinterpret_cast<docseek_Getinfo_fn>(dlsym(handle, "Getinfo"));
  }();
  return getinfo;
}

class DisplayEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { StopTestDisplay(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

// A result page that completes only after `ms`: it holds a frame the engine
// answers late, and a page is complete when its frames are.
std::string Slow(std::string page, int ms) {
  const std::string frame =
      "<iframe src=\"http://www.sogou.com/slow?ms=" + std::to_string(ms) + "\"></iframe>";
  return page.insert(page.rfind("</body>"), frame);
}

Lines Records(const std::vector<PageHit>& hits, std::size_t count) {
  Lines out;
  for (std::size_t n = 0; n < count; ++n) {
    out.insert(out.end(),
               {"Title " + std::to_string(n), "pdf", "12", "2010-5-3", "Summary", hits[n].link});
  }
  return out;
}

Lines SyntheticRecords(std::string_view keyword, std::string_view type, int count) {
  Lines out;
  for (int n = 0; n < count; ++n) {
    const Lines record = SyntheticRecord(keyword, type, n);
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

std::string Hex(unsigned long id) {
  std::ostringstream out;
  out << "0x" << std::hex << id;
  return out.str();
}

// A screenshot of the whole screen, read back through gdk-pixbuf.
class Screenshot {
 public:
  explicit Screenshot(const std::string& path) {
    pixels_ = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  }
  ~Screenshot() {
    if (pixels_ != nullptr) g_object_unref(pixels_);
  }
  Screenshot(const Screenshot&) = delete;
  Screenshot& operator=(const Screenshot&) = delete;
  bool loaded() const { return pixels_ != nullptr; }

  struct Rgb {
    int r, g, b;
  };
  static Rgb At(GdkPixbuf* image, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image) +
                      x * gdk_pixbuf_get_n_channels(image);
    return {p[0], p[1], p[2]};
  }
  Rgb At(int x, int y) const { return At(pixels_, x, y); }

  // Mean difference per channel between the screen at (x, y) and `picture`.
  double DifferenceFrom(GdkPixbuf* picture, int x, int y) const {
    const int w = gdk_pixbuf_get_width(picture), h = gdk_pixbuf_get_height(picture);
    double sum = 0;
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        const Rgb a = At(x + i, y + j), b = At(picture, i, j);
        sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
      }
    }
    return sum / (3.0 * w * h);
  }

 private:
  GdkPixbuf* pixels_ = nullptr;
};

class SearchWindow : public ::testing::Test {
 protected:
  void SetUp() override { DOCSEEK_REQUIRE_DISPLAY(); }
  EngineProcess engine;
  ProxyTo proxy{engine.proxy()};
  TempDir scratch;
};

TEST_F(SearchWindow, ShowsTheBannerAndBarCentredWithoutBorderAndGoesAwayAfterTheLastType) {
  const std::vector<PageHit> hits = NumberedHits(2);
  engine.write_page("pdf.html", Slow(ResultPage(hits), 5000));
  const std::string shot = (scratch.path() / "screen.png").string();

  struct {
    std::optional<unsigned long> id;
    std::optional<Geometry> geometry;
    std::string motif_hints;
    bool shot = false;
  } seen;
  std::thread watcher([&] {
    seen.id = WaitForWindow("^Form4$", 10s);
    if (!seen.id) return;
    seen.geometry = WindowGeometry(*seen.id);
    seen.motif_hints = WindowProperty(*seen.id, "_MOTIF_WM_HINTS");
    std::this_thread::sleep_for(700ms);  // a few frames of drawing and pulsing
    seen.shot = RunCommand({"import", "-window", "root", shot}).status == 0;
  });
  StringList types{"pdf"};
  StringList results;
  Getinfo()(results.list(), types.list(), 2, "report", "");
  watcher.join();

  EXPECT_EQ(results.lines(), Records(hits, 2));
  EXPECT_TRUE(VisibleWindows("^Form4$").empty()) << "the window outlived the search";
  ASSERT_TRUE(seen.id) << "no window named Form4 appeared";
  ASSERT_TRUE(seen.geometry);
  const Geometry& g = *seen.geometry;
  EXPECT_EQ(g.width, 215);
  EXPECT_EQ(g.height, 103);
  // Centred on the screen (its work area: there is no panel here).
  EXPECT_EQ(g.x, (Xvfb::kWidth - 215) / 2);
  EXPECT_EQ(g.y, (Xvfb::kHeight - 103) / 2);
  // Motif hints: flags name the decorations field (2), which asks for none.
  unsigned long flags = 1, functions = 0, decorations = 1;
  char comma;
  std::istringstream hints(seen.motif_hints);
  hints >> std::hex >> flags >> comma >> functions >> comma >> decorations;
  EXPECT_TRUE(flags & 2) << seen.motif_hints;
  EXPECT_EQ(decorations, 0u) << seen.motif_hints;

  ASSERT_TRUE(seen.shot);
  const Screenshot screen(shot);
  ASSERT_TRUE(screen.loaded());
  GdkPixbuf* banner = gdk_pixbuf_new_from_file(kBanner.c_str(), nullptr);
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(banner), 215);
  EXPECT_EQ(gdk_pixbuf_get_height(banner), 85);
  EXPECT_LT(screen.DifferenceFrom(banner, g.x, g.y), 2.0) << "the top 85 rows are not the banner";
  g_object_unref(banner);
  // Below it, the 17-row bar: the theme's blue block moving in a grey trough.
  int blue = 0, other = 0;
  for (int y = g.y + 85; y < g.y + 102; ++y) {
    for (int x = g.x; x < g.x + 215; ++x) {
      const auto p = screen.At(x, y);
      (p.b > p.r + 60 ? blue : other)++;
    }
  }
  EXPECT_GT(blue, 100) << "no progress block below the banner";
  EXPECT_GT(other, 100) << "no trough around the progress block";
}

TEST_F(SearchWindow, ClosedMidSearchReturnsWithTheWholeRecordsReadSoFar) {
  const std::vector<PageHit> hits = NumberedHits(3);
  engine.write_page("pdf.html", ResultPage(hits));
  engine.write_page("doc.html", Slow(ResultPage(NumberedHits(3)), 30000));

  bool closed = false;
  std::thread watcher([&] {
    const auto id = WaitForWindow("^Form4$", 10s);
    // The doc query starts once the pdf page has been read: close then.
    const bool doc_started = WaitFor(
        [&] {
          for (const std::string& q : LoggedQueries(engine)) {
            if (q == "report filetype:doc") return true;
          }
          return false;
        },
        10s);
    if (id && doc_started) closed = CloseLikeAWindowManager(*id);
  });
  StringList types{"pdf", "doc", "xls"};
  StringList results;
  const auto start = std::chrono::steady_clock::now();
  Getinfo()(results.list(), types.list(), 10, "report", "");
  const auto took = std::chrono::steady_clock::now() - start;
  watcher.join();

  ASSERT_TRUE(closed);
  EXPECT_LT(took, 25s) << "the search waited for the slow page instead of ending";
  EXPECT_EQ(results.lines(), Records(hits, 3));
  // The pages after the first are fetched ahead once the first answers, so
  // the xls query may have gone out too; its page is never shown, each query
  // went out once, and nothing more is asked once the window is gone.
  std::this_thread::sleep_for(500ms);  // a query sent just before the close reaches the engine
  const Lines queries = LoggedQueries(engine);
  ASSERT_GE(queries.size(), 2u);
  EXPECT_EQ(queries[0], "report filetype:pdf");
  EXPECT_EQ(std::set<std::string>(queries.begin(), queries.end()).size(), queries.size());
  for (const std::string& q : queries) {
    EXPECT_TRUE(q == "report filetype:pdf" || q == "report filetype:doc" ||
                q == "report filetype:xls")
        << q;
  }
  EXPECT_NE(std::find(queries.begin(), queries.end(), "report filetype:doc"), queries.end());
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(LoggedQueries(engine), queries);
  EXPECT_TRUE(VisibleWindows("^Form4$").empty());
}

// Whether the "没有找到" box is up, seen from inside the process.
std::string OpenMessage() {
  std::string text;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      gchar* value = nullptr;
      g_object_get(item->data, "text", &value, nullptr);
      text = value != nullptr ? value : "";
      g_free(value);
    }
  }
  g_list_free(toplevels);
  return text;
}

TEST_F(SearchWindow, AFailingPageShowsTheMessageWhileTheNextPageIsRead) {
  std::vector<PageHit> hits = NumberedHits(6);
  hits[3].with_info = false;  // reading fails at hit 3
  engine.write_page("pdf.html", ResultPage(hits));

  std::atomic<int> read_under_message{0};
  int read_without = 0;
  std::string message;
  StringList results;
  results.on_append([&](std::string_view) {
    const std::string open = OpenMessage();
    if (open.empty()) {
      ++read_without;
    } else {
      message = open;
      ++read_under_message;
    }
    return true;
  });

  struct {
    std::optional<unsigned long> form, box;
    std::string box_parent;
    bool next_page_read = false;
    bool dismissed = false;
  } seen;
  std::thread watcher([&] {
    seen.form = WaitForWindow("^Form4$", 10s);
    seen.box = WaitForWindow("^docseek$", 10s);
    if (!seen.box) return;
    seen.box_parent = WindowProperty(*seen.box, "WM_TRANSIENT_FOR");
    seen.next_page_read = WaitFor([&] { return read_under_message.load() == 60; }, 10s);
    RunCommand({"xdotool", "windowfocus", "--sync", std::to_string(*seen.box)});
    RunCommand({"xdotool", "key", "--clearmodifiers", "Return"});
    seen.dismissed = WaitFor([&] { return VisibleWindows("^docseek$").empty(); }, 10s);
  });
  StringList types{"pdf", "doc"};
  CaptureStderr stderr_text;
  Getinfo()(results.list(), types.list(), 10, "report", "");
  watcher.join();

  ASSERT_TRUE(seen.form);
  ASSERT_TRUE(seen.box) << "no message box appeared";
  EXPECT_EQ(message, "没有找到");
  EXPECT_EQ(seen.box_parent, Hex(*seen.form)) << "not over Form4";
  EXPECT_TRUE(seen.next_page_read) << "the doc page was not read while the message was up";
  EXPECT_TRUE(seen.dismissed);
  EXPECT_EQ(read_without, 18);  // the three whole pdf records, before the box opened
  Lines expected = Records(hits, 3);
  const Lines doc = SyntheticRecords("report", "doc", 10);
  expected.insert(expected.end(), doc.begin(), doc.end());
  EXPECT_EQ(results.lines(), expected);
  EXPECT_EQ(stderr_text.text(), "") << "the message went to the terminal as well";
  EXPECT_TRUE(VisibleWindows("^Form4$").empty());
}

// A GTK 3 program with its own main loop that searches from a button.
struct Host {
  GtkWidget* window = nullptr;
  GtkWidget* button = nullptr;
  GtkWidget* area = nullptr;
  int ticks = 0;
  int draws = 0;
  int ticks_during = -1;
  int draws_during = -1;
  bool returned = false;
  std::string form_parent;
  StringList types{"pdf"};
  StringList results;
};

gboolean HostDraw(GtkWidget*, cairo_t*, gpointer data) {
  ++static_cast<Host*>(data)->draws;
  return FALSE;
}

gboolean HostTick(gpointer data) {
  auto* host = static_cast<Host*>(data);
  ++host->ticks;
  gtk_widget_queue_draw(host->area);
  return G_SOURCE_CONTINUE;
}

// The host's button handler: a search, then back to the host's own work.
void HostSearch(GtkButton*, gpointer data) {
  auto* host = static_cast<Host*>(data);
  const int ticks = host->ticks, draws = host->draws;
  Getinfo()(host->results.list(), host->types.list(), 2, "report", "");
  host->ticks_during = host->ticks - ticks;
  host->draws_during = host->draws - draws;
  host->returned = true;
  gtk_main_quit();
}

gboolean GiveUp(gpointer data) {
  *static_cast<bool*>(data) = true;
  gtk_main_quit();
  return G_SOURCE_REMOVE;
}

TEST_F(SearchWindow, AGtkHostSearchingFromAButtonKeepsRunningAndGetsControlBack) {
  const std::vector<PageHit> hits = NumberedHits(2);
  engine.write_page("pdf.html", Slow(ResultPage(hits), 3000));
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));

  Host host;
  host.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(host.window), "docseek test host");
  gtk_window_set_default_size(GTK_WINDOW(host.window), 300, 200);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  host.button = gtk_button_new_with_label("Search");
  host.area = gtk_drawing_area_new();
  gtk_box_pack_start(GTK_BOX(box), host.button, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), host.area, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(host.window), box);
  g_signal_connect(host.area, "draw", G_CALLBACK(HostDraw), &host);
  // The host's own timer keeps its window changing, as a live program does.
  const guint timer = g_timeout_add(30, HostTick, &host);
  g_signal_connect(host.button, "clicked", G_CALLBACK(HostSearch), &host);
  // However the test goes, the host's loop ends.
  bool gave_up = false;
  const guint guard = g_timeout_add_seconds(30, GiveUp, &gave_up);
  gtk_widget_show_all(host.window);
  gtk_window_present(GTK_WINDOW(host.window));

  std::thread watcher([&] {
    const auto id = WaitForWindow("^docseek test host$", 10s);
    if (!id) return;
    // A real click on the button, through the X server.
    RunCommand(
        {"xdotool", "mousemove", "--window", std::to_string(*id), "150", "50", "click", "1"});
    if (const auto form = WaitForWindow("^Form4$", 10s)) {
      const std::string parent = WindowProperty(*form, "WM_TRANSIENT_FOR");
      host.form_parent = parent == Hex(*id) ? "host" : parent;
    }
  });
  gtk_main();
  watcher.join();
  g_source_remove(timer);
  if (!gave_up) g_source_remove(guard);
  gtk_widget_destroy(host.window);

  ASSERT_TRUE(host.returned) << "Getinfo did not return to the button handler";
  EXPECT_EQ(host.results.lines(), Records(hits, 2));
  EXPECT_EQ(host.form_parent, "host") << "Form4 is not a dialog of the host's window";
  // The search took at least 3 s: the host's 30 ms timer and its redraws
  // kept coming all along.
  EXPECT_GE(host.ticks_during, 10);
  EXPECT_GE(host.draws_during, 10);
}

}  // namespace
}  // namespace docseek::test

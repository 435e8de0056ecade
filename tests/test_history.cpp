// The game's history: the generator's state saved and restored exactly; a
// game taken back to a step is the game a fresh replay of that step's keys
// gives, object by object and number by number, and goes on as the replay
// of its cut record does; the snapshots kept stay within their bound; and
// the record of a run that went back and forth wins in the tool.
#include <gtest/gtest.h>

#include <glob.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "headless.h"
#include "rules_invariants.h"
#include "shell/shell.h"
#include "tools/land_source.h"

namespace {

// ---- the generator -----------------------------------------------------------------

// random()'s own sequence for a seed and a buffer size, drawn apart from the
// generator under test.
std::vector<int> reference_draws(unsigned seed, size_t size, int n)
{
    static char buf[256];
    random_data rd;
    memset(&rd, 0, sizeof rd);
    initstate_r(seed, buf, size, &rd);
    std::vector<int> v(n);
    for (int &x : v) {
        int32_t r;
        random_r(&rd, &r);
        x = r;
    }
    return v;
}

// Saved at every position, including across the wrap of the buffer's two
// pointers (31 words), a state draws on as the sequence does, and loaded
// again gives the sequence from its position, after any number of draws.
TEST(RandState, LoadGivesTheSequenceFromWhereItWasSaved)
{
    for (unsigned seed : {1u, 7u, 4294967295u}) {
        std::vector<int> ref = reference_draws(seed, 128, 200);
        srand(seed);
        std::vector<RAND_STATE> at(100);
        for (int i = 0; i < 100; i++) {
            save_rand_state(at[i]);
            ASSERT_EQ(rand(), ref[i]) << "seed " << seed << ", after a save at " << i;
        }
        for (int p : {0, 1, 30, 31, 32, 62, 99, 5, 63, 17}) {
            load_rand_state(at[p]);
            for (int i = p; i < p + 100; i++)
                ASSERT_EQ(rand(), ref[i]) << "seed " << seed << ", loaded at " << p;
        }
        // srand() seeds the buffer the generator now draws from as before.
        srand(seed);
        for (int i = 0; i < 50; i++)
            ASSERT_EQ(rand(), ref[i]);
    }
}

// A generator someone put in a buffer of another size is taken over whole.
TEST(RandState, EveryBufferSizeIsTakenOver)
{
    static char bufs[5][256];
    const size_t sizes[] = {8, 32, 64, 128, 256};  // types 0 to 4
    for (int t = 0; t < 5; t++) {
        std::vector<int> ref = reference_draws(11, sizes[t], 120);
        initstate(11, bufs[t], sizes[t]);
        for (int i = 0; i < 10; i++)
            ASSERT_EQ(rand(), ref[i]);
        RAND_STATE s;
        save_rand_state(s);
        for (int i = 10; i < 110; i++)
            ASSERT_EQ(rand(), ref[i]) << "size " << sizes[t];
        load_rand_state(s);
        for (int i = 10; i < 120; i++)
            ASSERT_EQ(rand(), ref[i]) << "size " << sizes[t] << ", loaded";
    }
    // Back to the buffer size srand() has by default, for the tests after.
    initstate(1, bufs[3], 128);
    RAND_STATE s;
    save_rand_state(s);
    srand(3);
    EXPECT_EQ(rand(), reference_draws(3, 128, 1)[0]);
}

// ---- lands and keys --------------------------------------------------------------

// Apart from rand(), which the rules draw from.
struct small_rng {
    std::mt19937 g;
    explicit small_rng(unsigned seed) : g(seed) {}
    int below(int n) { return (int)(g() % (unsigned)n); }
    bool chance(int percent) { return below(100) < percent; }
};

// Ground at level 0 or 1 with slopes here and there, rocks in the air, on
// each other and in stacks, so that they fall and roll; diamonds; both
// players most of the time.
std::string random_land_text(unsigned seed)
{
    small_rng r(seed);
    int w = 4 + r.below(9), h = 4 + r.below(9), levels = 3 + r.below(4);
    std::vector<std::string> t(levels * h, std::string(w, '#')), o(levels * h, std::string(w, '.'));
    std::vector<int> open;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (!r.chance(5))
                for (int z = r.chance(30); z < levels; z++)
                    t[z * h + y][x] = '.';
    int rocks = 3 + r.below(15);
    for (int z = 0; z < levels; z++)
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                if (t[z * h + y][x] != '.')
                    continue;
                bool on_rock = z == 0 || t[(z - 1) * h + y][x] == '#';
                if (on_rock && z + 1 < levels && r.chance(8))
                    t[z * h + y][x] = "^>v<56789abc"[r.below(12)];
                else
                    open.push_back(z * 65536 + y * 256 + x);
                if (r.chance(rocks))
                    o[z * h + y][x] = 'R';
                else if (r.chance(5))
                    o[z * h + y][x] = 'D';
            }
    if (open.size() < 4)
        return "";
    for (int n = r.below(4); n > 0; n--) {
        int c = open[r.below((int)open.size())], x = c & 255, y = c >> 8 & 255;
        for (int z = c >> 16; z < levels && t[z * h + y][x] == '.'; z++)
            o[z * h + y][x] = 'R';
    }
    int players = r.chance(20) ? 1 : 2;
    for (int p = 0; p <= players; p++) {
        int c = open[r.below((int)open.size())];
        o[(c >> 16) * h + (c >> 8 & 255)][c & 255] = p < players ? "PQ"[p] : 'D';
    }
    std::string s = "size " + std::to_string(w) + " " + std::to_string(h) + "\ntextures a.pcx b.pcx c.pcx\n" +
                    "players " + std::to_string(players) + "\nfacing P 1\nfacing Q 2\n";
    for (int z = 0; z < levels; z++) {
        s += "level " + std::to_string(z) + "\n";
        for (int y = 0; y < h; y++) {
            s += "  ";
            for (int x = 0; x < w; x++) {
                char c = t[z * h + y][x];
                s += c;
                s += c == '#' ? '#' : c == '.' ? o[z * h + y][x] : '.';
            }
            s += "\n";
        }
    }
    return s;
}

// The scancodes held in one step.
typedef std::vector<int> keys_held;

// Each player holds a few actions for a stretch, walking forward most often.
struct key_maker {
    small_rng r;
    int left[2] = {0, 0};
    keys_held held[2];
    explicit key_maker(unsigned seed) : r(seed) {}
    keys_held next()
    {
        keys_held k;
        for (int p = 0; p < 2; p++) {
            if (--left[p] <= 0) {
                left[p] = 1 + r.below(60);
                held[p].clear();
                for (int a = 0; a < N_ACTIONS; a++)
                    if (r.chance(a == ACT_FORWARD ? 50 : 15))
                        held[p].push_back(player_info[p].key[a][0]);
            }
            k.insert(k.end(), held[p].begin(), held[p].end());
        }
        return k;
    }
};

const char *frame_of(const keys_held &k)
{
    static INPUT_FRAME f;
    memset(f, 0, sizeof f);
    for (int code : k)
        f[code] = 1;
    return f;
}

// A game to test: how to make its land afresh, with the generator seeded as
// the game seeds it, right before.
struct game {
    std::string name;
    unsigned seed;
    std::function<LAND *()> make;
    LAND *fresh() const
    {
        srand(seed);
        return make();
    }
};

// ---- comparing two games ---------------------------------------------------------

// An object's place in the land's walk, counted from 1; 0 for none.
long place_of(const LAND *l, const OBJECT *o)
{
    long n = 0;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next) {
                    n++;
                    if (e == o)
                        return n;
                }
    return 0;
}

// Which objects the placeholders' owners and the players are: by place.
std::vector<long> identities(const LAND *l, OBJECT *const rows[2])
{
    std::vector<long> v = {place_of(l, rows[0]), place_of(l, rows[1]), place_of(l, l->player[0]),
                           place_of(l, l->player[1])};
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next)
                    if (e->type == OBJ_PLACEHOLDER)
                        v.push_back(place_of(l, ((const PLACEHOLDER_DATA *)e->data)->owner));
    return v;
}

std::string rand_difference(const RAND_STATE &a, const RAND_STATE &b)
{
    if (a.words != b.words || memcmp(a.word, b.word, a.words * sizeof(int32_t)))
        return "the random generators differ";
    return "";
}

// How the current game differs from a fresh one run on keys, or "".  The
// current game is left current, with its generator and rows.
std::string difference_from_replay(const game &g, const std::vector<keys_held> &keys)
{
    LAND *a = land;
    OBJECT *rows_a[2] = {player_info[0].object, player_info[1].object};
    int players_a = n_players;
    RAND_STATE rand_a;
    save_rand_state(rand_a);

    LAND *b = g.fresh();
    set_game_land(b);
    for (const keys_held &k : keys)
        step_land(frame_of(k));
    OBJECT *rows_b[2] = {player_info[0].object, player_info[1].object};
    RAND_STATE rand_b;
    save_rand_state(rand_b);
    std::string why = compare_objects(a, b);
    if (why.empty() && identities(a, rows_a) != identities(b, rows_b))
        why = "placeholders' owners or players are other objects";
    if (why.empty())
        why = rand_difference(rand_a, rand_b);
    destroy_land(b);

    land = a;
    n_players = players_a;
    player_info[0].object = rows_a[0];
    player_info[1].object = rows_a[1];
    load_rand_state(rand_a);
    return why;
}

// What the rewinds met, so that the test shows it tried what matters.
struct rewind_counts {
    long rewinds = 0, with_motion = 0, with_placeholders = 0, generator_moved = 0;
};

void count_state(rewind_counts &c, const RAND_STATE &start)
{
    bool motion = false, placeholder = false;
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            for (const HOLLOW *h = land->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next) {
                    motion |= e->type == OBJ_ROCK && (e->move_step || e->z_speed);
                    placeholder |= e->type == OBJ_PLACEHOLDER;
                }
    RAND_STATE now;
    save_rand_state(now);
    c.rewinds++;
    c.with_motion += motion;
    c.with_placeholders += placeholder;
    c.generator_moved += !rand_difference(now, start).empty();
}

// Plays g with random keys, going back to random steps and on with other
// keys; after every rewind the game must be the fresh replay of the keys
// kept, and at the end the history's tape must replay to it too.
void play_back_and_forth(const game &g, int rounds, int most_steps, rewind_counts &counts)
{
    SCOPED_TRACE(g.name);
    LAND *a = g.fresh();
    ASSERT_TRUE(a);
    set_game_land(a);
    GAME_HISTORY h;
    start_history(h, g.seed);
    RAND_STATE start;
    save_rand_state(start);
    small_rng r(g.seed ^ 0x7e3);
    key_maker maker(g.seed);
    std::vector<keys_held> kept;
    for (int round = 0; round < rounds; round++) {
        for (int n = 1 + r.below(most_steps); n > 0 && land->n_diamonds > 0; n--) {
            kept.push_back(maker.next());
            run_history_step(h, frame_of(kept.back()));
        }
        // Now and then the step itself, the start, or a snapshot's step.
        long to = r.below((int)h.steps + 1);
        if (r.chance(10))
            to = h.steps;
        else if (r.chance(10))
            to = 0;
        else if (r.chance(15))
            to -= to % HISTORY_SPACING;
        ASSERT_EQ(rewind_history(h, to), to);
        ASSERT_EQ(h.steps, to);
        kept.resize(to);
        count_state(counts, start);
        std::string why = difference_from_replay(g, kept);
        ASSERT_EQ(why, "") << "round " << round << ", back to step " << to;
    }
    for (int n = r.below(most_steps); n > 0 && land->n_diamonds > 0; n--) {
        kept.push_back(maker.next());
        run_history_step(h, frame_of(kept.back()));
    }
    // The tape, read back as a file is, plays the very same keys.
    TAPE tape = history_tape(h), read;
    std::string why;
    tape.land = "x.lvl";
    ASSERT_EQ(parse_tape(tape_text(tape), read, why), 0) << why;
    ASSERT_EQ(read.frames, (long)kept.size());
    EXPECT_EQ(read.seed, g.seed);
    TAPE_PLAYBACK p;
    start_playback(p, read);
    std::vector<keys_held> played;
    while (const char *f = next_playback_frame(p)) {
        played.emplace_back();
        for (int code = 0; code < KEY_MAX; code++)
            if (f[code])
                played.back().push_back(code);
    }
    std::vector<keys_held> want = kept;
    for (keys_held &k : want)
        std::sort(k.begin(), k.end()), k.erase(std::unique(k.begin(), k.end()), k.end());
    EXPECT_TRUE(played == want) << "the tape plays other keys";
    EXPECT_EQ(difference_from_replay(g, played), "") << "at the end";

    restart_history(h);
    EXPECT_EQ(h.steps, 0);
    EXPECT_TRUE(history_tape(h).held.empty());
    EXPECT_EQ(difference_from_replay(g, {}), "") << "restarted";
    free_game_land();
}

std::vector<std::string> bundled_lands()
{
    std::vector<std::string> v;
    glob_t gl;
    if (glob("levels/*.lvl", 0, nullptr, &gl) == 0)
        for (size_t i = 0; i < gl.gl_pathc; i++)
            v.push_back(gl.gl_pathv[i]);
    globfree(&gl);
    v.push_back("land.lvl");
    v.push_back("land3.lvl");
    return v;
}

} // namespace

TEST(History, RewoundGamesAreFreshReplaysOfTheirKeys)
{
    start_headless_allegro();
    rewind_counts counts;
    int lands = 0;
    for (unsigned seed = 1; lands < 60 && seed < 200; seed++) {
        std::string text = random_land_text(seed);
        LAND *l = text.empty() ? nullptr : parse_land_source(text).land;
        if (!l)
            continue;
        destroy_land(l);
        lands++;
        play_back_and_forth({"generated land " + std::to_string(seed), seed,
                             [text] { return parse_land_source(text).land; }},
                            4, 600, counts);
        if (HasFatalFailure())
            return;
    }
    printf("history: %d generated lands, %ld rewinds, %ld with rocks in motion, %ld with reservations, %ld with "
           "the generator moved on\n",
           lands, counts.rewinds, counts.with_motion, counts.with_placeholders, counts.generator_moved);
    EXPECT_EQ(lands, 60);
    EXPECT_GT(counts.with_motion, counts.rewinds / 5);
    EXPECT_GT(counts.with_placeholders, counts.rewinds / 3);
    EXPECT_GT(counts.generator_moved, counts.rewinds / 3);
}

TEST(History, RewoundBundledGamesAreFreshReplaysOfTheirKeys)
{
    start_headless_allegro();
    // The rules never look at textures, and a land loads without them.
    std::string (*textures)(const char *) = find_texture_file;
    find_texture_file = [](const char *) { return std::string("no such texture"); };
    rewind_counts counts;
    std::vector<std::string> lands = bundled_lands();
    ASSERT_GE(lands.size(), 14u);
    unsigned seed = 5;
    for (const std::string &path : lands) {
        play_back_and_forth({path, seed++, [path] { return load_land(path.c_str()); }}, 4, 2500, counts);
        if (HasFatalFailure())
            break;
    }
    find_texture_file = textures;
    EXPECT_GT(counts.with_motion + counts.with_placeholders, 0);
}

// A rock falls in its own tile, far from the player, and comes to rest: its
// tile sleeps.  Taken back to the fall, with no object made anew, the rock
// must fall again as it did.
TEST(History, ATileAsleepNowFallsAgainAfterARewind)
{
    start_headless_allegro();
    std::string text = "size 10 1\ntextures a.pcx b.pcx c.pcx\nplayers 1\nfacing P 1\n";
    for (int z = 0; z < 8; z++)
        text += "level " + std::to_string(z) + "\n  " + (z ? ".." : ".P") + "......" + (z ? ".." : ".D") +
                "........" + (z == 7 ? ".R" : "..") + "\n";
    game g{"a rock falling", 1, [text] { return parse_land_source(text).land; }};
    set_game_land(g.fresh());
    ASSERT_TRUE(land);
    GAME_HISTORY h;
    start_history(h, g.seed);
    for (int i = 0; i < 300; i++)
        run_history_step(h, frame_of({}));
    auto rock = [] {
        const OBJECT *o = land->tile[0][9].hollow->object;
        while (o && o->type != OBJ_ROCK)
            o = o->next;
        return o;
    };
    ASSERT_TRUE(rock() && rock()->z == 0 && !rock()->z_speed);
    rewind_history(h, 20);
    ASSERT_TRUE(rock() && rock()->z_speed) << "the rock is not falling at step 20";
    for (int i = 0; i < 300; i++)
        run_history_step(h, frame_of({}));
    EXPECT_EQ(difference_from_replay(g, std::vector<keys_held>(320)), "");
    free_game_land();
}

// Every snapshot is at a multiple of the spacing; the recent steps keep all
// of theirs and older spans every other one of the span after them, which
// bounds the count; a rewind takes the snapshots up to its step again.
TEST(History, SnapshotsThinWithAgeWithinTheirBound)
{
    start_headless_allegro();
    std::string text = random_land_text(3);
    srand(3);
    set_game_land(parse_land_source(text).land);
    GAME_HISTORY h;
    start_history(h, 3);
    key_maker maker(3);
    const long recent = HISTORY_RECENT * HISTORY_SPACING;
    // After a rewind, older snapshots keep the spacing of the age they had,
    // and only the steps re-run from the snapshot restored, `from`, on take
    // theirs again.
    auto check = [&](const char *when, bool forward, long from) {
        SCOPED_TRACE(when);
        std::vector<long> steps;
        for (const HISTORY_SNAPSHOT &s : h.snapshots)
            steps.push_back(s.step);
        ASSERT_EQ(steps.front(), 0);
        for (size_t i = 1; i < steps.size(); i++) {
            ASSERT_EQ(steps[i] % HISTORY_SPACING, 0);
            ASSERT_GT(steps[i], steps[i - 1]);
            // A span of a given age keeps HISTORY_RECENT snapshots, and is
            // at most that age plus the recent steps long.
            long age = h.steps - steps[i - 1];
            long most = std::max<long>(HISTORY_SPACING, (age + recent) / HISTORY_RECENT);
            if (forward) {
                ASSERT_LE(steps[i] - steps[i - 1], most) << "after step " << steps[i - 1] << " at " << h.steps;
            }
        }
        ASSERT_LT(h.steps - steps.back(), HISTORY_SPACING);
        // The recent steps keep every snapshot: going back through them
        // re-runs a spacing at most.
        for (long m = h.steps - h.steps % HISTORY_SPACING; m >= from && h.steps - m < recent; m -= HISTORY_SPACING)
            ASSERT_TRUE(std::binary_search(steps.begin(), steps.end(), m)) << "step " << m << " at " << h.steps;
        // HISTORY_RECENT snapshots a span, each span twice the one after it.
        int spans = 1;
        for (long covered = recent; covered < h.steps; covered = 2 * covered + recent)
            spans++;
        ASSERT_LE((long)steps.size(), (long)(HISTORY_RECENT + 1) * spans + 1) << h.steps << " steps";
    };
    for (long n = 1; n <= 40000; n++) {
        run_history_step(h, frame_of(maker.next()));
        if (n % 997 == 0 || n == 40000)
            check(("playing, step " + std::to_string(n)).c_str(), true, 0);
    }
    printf("history: %zu snapshots after 40 000 steps, %zu bytes\n", h.snapshots.size(), history_bytes(h));
    EXPECT_LE(h.snapshots.size(), 7u * (HISTORY_RECENT + 1));
    for (long to : {39990L, 30001L, 12345L, 700L}) {
        long from = 0;
        for (const HISTORY_SNAPSHOT &s : h.snapshots)
            if (s.step <= to)
                from = s.step;
        rewind_history(h, to);
        check(("back to " + std::to_string(to)).c_str(), false, from);
    }
    free_game_land();
}

// A solution fed through the history, taken back past where it went off
// into other keys, and played on from there: the record is the run as it
// finally went, and the tool wins with it.
TEST(History, TapeOfARunThatWentBackWinsInTheTool)
{
    start_headless_allegro();
    for (const char *name : {"06-rolling", "11-together", "12-summit"}) {
        SCOPED_TRACE(name);
        std::string land_path = std::string("levels/") + name + ".lvl";
        TAPE solution;
        std::string why;
        ASSERT_EQ(read_tape((std::string("levels/") + name + ".tape").c_str(), solution, why), 0) << why;
        srand((unsigned)solution.seed);
        set_game_land(load_land(land_path.c_str()));
        ASSERT_TRUE(land);
        GAME_HISTORY h;
        start_history(h, solution.seed);
        TAPE_PLAYBACK p;
        start_playback(p, solution);
        for (long i = 0; i < solution.frames * 2 / 3; i++)
            run_history_step(h, next_playback_frame(p));
        rewind_history(h, solution.frames / 2);
        key_maker maker(9);
        for (int i = 0; i < 700 && land->n_diamonds > 0; i++)
            run_history_step(h, frame_of(maker.next()));
        long back_to = solution.frames / 3;
        ASSERT_EQ(rewind_history(h, back_to), back_to);
        start_playback(p, solution);
        for (long i = 0; i < back_to; i++)
            next_playback_frame(p);
        while (land->n_diamonds > 0)
            if (const char *f = next_playback_frame(p))
                run_history_step(h, f);
            else
                break;
        EXPECT_EQ(land->n_diamonds, 0);

        TAPE tape = history_tape(h);
        tape.land = land_path;
        ASSERT_TRUE(file_crc32(land_path.c_str(), tape.crc32));
        std::string tape_path = "/tmp/tavo-history-" + std::to_string(getpid()) + ".tape";
        ASSERT_EQ(save_tape(tape_path.c_str(), tape), 0);
        FILE *out = popen(("./tavo-tool replay " + tape_path + " 2>&1").c_str(), "r");
        ASSERT_TRUE(out);
        std::string json;
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof buf, out))
            json.append(buf, n);
        EXPECT_EQ(pclose(out), 0) << json;
        remove(tape_path.c_str());
        EXPECT_NE(json.find("\"won\": true"), std::string::npos) << json;
        EXPECT_NE(json.find("\"ended_at_step\": " + std::to_string(h.steps)), std::string::npos) << json;
        free_game_land();
    }
}

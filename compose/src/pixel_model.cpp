#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "glyph8/compose.hpp"

namespace glyph8::compose {

namespace {

constexpr int scale = 1024;  // a feature's full value
constexpr int side = 8;
constexpr std::size_t views_seen = 6;
constexpr std::size_t coefficients = pixel_features + 1;  // and the bias, last

// What every view says about every pixel, on one scale: how much its
// composition inks it and how much of it the outline covers, and where in
// the pixel that ink lies. A view that cannot render the character says
// what the others say on average.
struct views_of {
    std::array<std::array<int, 64>, views_seen> share{};
    std::array<std::array<int, 64>, views_seen> cover{};
    std::array<int, 64> mean_share{}, mean_cover{};
    std::array<std::array<int, 64>, 4> half{};  // left, right, top, bottom halves, mean of views

    explicit views_of(const seen_glyph& g) {
        const std::size_t nv = g.parts.size();
        if (nv == 0) {
            return;
        }
        for (std::size_t v = 0; v < nv; ++v) {
            const auto& f = g.features[v];
            const std::size_t bs = f.size() / 64;
            const int sub = static_cast<int>(std::lround(std::sqrt(static_cast<double>(bs))));
            const auto view = static_cast<std::size_t>(g.views[v]) % views_seen;
            for (std::size_t p = 0; p < 64; ++p) {
                const int s = g.parts[v].share[p];
                int sum = 0;
                std::array<int, 4> h{};
                for (int k = 0; k < sub * sub; ++k) {
                    const int level = f[p * bs + static_cast<std::size_t>(k)];
                    sum += level;
                    h[(k % sub) * 2 < sub ? 0 : 1] += level;
                    h[(k / sub) * 2 < sub ? 2 : 3] += level;
                }
                const int full = 15 * sub * sub;
                share[view][p] = s;
                cover[view][p] = sum * scale / full;
                mean_share[p] += s;
                mean_cover[p] += cover[view][p];
                for (std::size_t q = 0; q < 4; ++q) {
                    half[q][p] += h[q] * 2 * scale / full;
                }
            }
        }
        const int n = static_cast<int>(nv);
        std::array<bool, views_seen> seen{};
        for (const int v : g.views) {
            seen[static_cast<std::size_t>(v) % views_seen] = true;
        }
        for (std::size_t p = 0; p < 64; ++p) {
            mean_share[p] /= n;
            mean_cover[p] /= n;
            for (auto& h : half) {
                h[p] /= n;
            }
            for (std::size_t v = 0; v < views_seen; ++v) {
                if (!seen[v]) {
                    share[v][p] = mean_share[p];
                    cover[v][p] = mean_cover[p];
                }
            }
        }
    }
};

int at(const std::array<int, 64>& a, int x, int y) {
    return x < 0 || x >= side || y < 0 || y >= side ? 0 : a[static_cast<std::size_t>(y * side + x)];
}

void features_of(const views_of& w, int x, int y, std::array<int, pixel_features>& f) {
    const auto p = static_cast<std::size_t>(y * side + x);
    std::size_t k = 0;
    for (std::size_t v = 0; v < views_seen; ++v) {
        f[k++] = w.share[v][p];
    }
    for (std::size_t v = 0; v < views_seen; ++v) {
        f[k++] = w.cover[v][p];
    }
    const int dirs[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& d : dirs) {
        f[k++] = at(w.mean_share, x + d[0], y + d[1]);
    }

    for (const auto& d : dirs) {
        f[k++] = at(w.mean_cover, x + d[0], y + d[1]);
    }
    int row_s = 0, col_s = 0, all_s = 0, row_c = 0, col_c = 0, all_c = 0;
    for (int i = 0; i < side; ++i) {
        row_s += at(w.mean_share, i, y);
        col_s += at(w.mean_share, x, i);
        row_c += at(w.mean_cover, i, y);
        col_c += at(w.mean_cover, x, i);
    }
    for (std::size_t q = 0; q < 64; ++q) {
        all_s += w.mean_share[q];
        all_c += w.mean_cover[q];
    }
    f[k++] = row_s / side;
    f[k++] = col_s / side;
    f[k++] = all_s / 64;
    f[k++] = row_c / side;
    f[k++] = col_c / side;
    f[k++] = all_c / 64;
    for (const auto& h : w.half) {
        f[k++] = h[p];
    }
    f[k++] = w.mean_share[p] * w.mean_share[p] / scale;
    f[k++] = w.mean_cover[p] * w.mean_cover[p] / scale;
    int diagonal = 0;
    for (const int dy : {-1, 1}) {
        for (const int dx : {-1, 1}) {
            diagonal += at(w.mean_share, x + dx, y + dy);
        }
    }
    f[k++] = diagonal / 4;
}

// Solves a x = b for symmetric positive definite a (n x n, row-major) in
// place by Cholesky; b becomes x.
void solve(std::vector<double>& a, std::vector<double>& b, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j) {
        double d = a[j * n + j];
        for (std::size_t k = 0; k < j; ++k) {
            d -= a[j * n + k] * a[j * n + k];
        }
        d = std::sqrt(std::max(d, 1e-12));
        a[j * n + j] = d;
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = a[i * n + j];
            for (std::size_t k = 0; k < j; ++k) {
                s -= a[i * n + k] * a[j * n + k];
            }
            a[i * n + j] = s / d;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        double s = b[i];
        for (std::size_t k = 0; k < i; ++k) {
            s -= a[i * n + k] * b[k];
        }
        b[i] = s / a[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < n; ++k) {
            s -= a[k * n + i] * b[k];
        }
        b[i] = s / a[i * n + i];
    }
}

}  // namespace

std::vector<std::array<int, pixel_features>> pixel_inputs(const seen_glyph& g) {
    const views_of w(g);
    std::vector<std::array<int, pixel_features>> out(64);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            features_of(w, x, y, out[static_cast<std::size_t>(y * side + x)]);
        }
    }
    return out;
}

pixel_model train_pixel_model(std::span<const seen_glyph> seen, std::span<const glyph> truth,
                              double ridge) {
    if (seen.size() != truth.size()) {
        throw std::invalid_argument("train_pixel_model: one true glyph per example");
    }
    std::vector<std::vector<std::array<int, pixel_features>>> inputs;
    inputs.reserve(seen.size());
    for (const auto& g : seen) {
        inputs.push_back(pixel_inputs(g));
    }
    pixel_model m;
    m.weights.assign(64 * coefficients, 0);
    const std::size_t n = coefficients;
    std::vector<double> f(n), w(n), grad(n), hess(n * n);
    for (std::size_t p = 0; p < 64; ++p) {
        std::fill(w.begin(), w.end(), 0.0);
        for (int iteration = 0; iteration < 12; ++iteration) {
            std::fill(hess.begin(), hess.end(), 0.0);
            for (std::size_t i = 0; i + 1 < n; ++i) {
                grad[i] = ridge * w[i];
                hess[i * n + i] = ridge;
            }
            grad[n - 1] = 0;
            hess[n * n - 1] = 1e-9;
            for (std::size_t e = 0; e < seen.size(); ++e) {
                const auto& in = inputs[e][p];
                double z = 0;
                for (std::size_t i = 0; i + 1 < n; ++i) {
                    f[i] = in[i] / double{scale};
                    z += w[i] * f[i];
                }
                f[n - 1] = 1;
                z += w[n - 1];
                const double prob = 1 / (1 + std::exp(-z));
                const double y =
                    truth[e].ink(static_cast<int>(p % side), static_cast<int>(p / side)) ? 1 : 0;
                const double r = prob - y;
                const double c = std::max(prob * (1 - prob), 1e-6);
                for (std::size_t i = 0; i < n; ++i) {
                    grad[i] += r * f[i];
                    const double cf = c * f[i];
                    for (std::size_t j = 0; j <= i; ++j) {
                        hess[i * n + j] += cf * f[j];
                    }
                }
            }
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + 1; j < n; ++j) {
                    hess[i * n + j] = hess[j * n + i];
                }
            }
            solve(hess, grad, n);
            for (std::size_t i = 0; i < n; ++i) {
                w[i] -= grad[i];
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            // Weights of features on `scale`; the bias as one more feature at `scale`.
            m.weights[p * n + i] =
                static_cast<std::int32_t>(std::lround(w[i] * pixel_weight_scale));
        }
    }
    return m;
}

std::array<std::int64_t, 64> pixel_model::logits(const seen_glyph& g) const {
    if (weights.size() != 64 * coefficients) {
        throw std::invalid_argument("pixel_model: no weights");
    }
    const auto in = pixel_inputs(g);
    std::array<std::int64_t, 64> out{};
    for (std::size_t p = 0; p < 64; ++p) {
        const std::int32_t* w = weights.data() + p * coefficients;
        std::int64_t z = std::int64_t{w[pixel_features]} * scale;
        for (std::size_t i = 0; i < pixel_features; ++i) {
            z += std::int64_t{w[i]} * in[p][i];
        }
        out[p] = z;
    }
    return out;
}

glyph pixel_model::draw(const seen_glyph& g) const {
    const auto z = logits(g);
    glyph out;
    for (std::size_t p = 0; p < 64; ++p) {
        if (z[p] > 0) {
            out = out.with_ink(static_cast<int>(p % side), static_cast<int>(p / side));
        }
    }
    return out;
}

}  // namespace glyph8::compose

// Match statistics: score, the Elo difference it implies under the logistic
// model, a 95 % interval from the spread of the game results, and the
// likelihood of superiority from the decisive games.
#include <cmath>

#include "tools/match.h"

namespace match {

namespace {

constexpr double Z95 = 1.959963985;  // two-sided 95 % quantile of the normal law

}  // namespace

double eloFromScore(double score) { return -400.0 * std::log10(1.0 / score - 1.0); }

EloEstimate estimateElo(const MatchStats& s) {
  EloEstimate e;
  double n = s.wins + s.draws + s.losses;
  if (n <= 0) return e;
  e.score = (s.wins + 0.5 * s.draws) / n;
  int decisive = s.wins + s.losses;
  e.los = decisive == 0 ? 0.5 : 0.5 * (1.0 + std::erf((s.wins - s.losses) / std::sqrt(2.0 * decisive)));
  if (e.score <= 0 || e.score >= 1) return e;
  e.finite = true;
  e.elo = eloFromScore(e.score);
  // Variance of one game's score around the mean, then of the mean.
  double w = s.wins / n, d = s.draws / n, l = s.losses / n;
  double variance = w * (1 - e.score) * (1 - e.score) + d * (0.5 - e.score) * (0.5 - e.score) +
                    l * e.score * e.score;
  double spread = Z95 * std::sqrt(variance / n);
  double low = e.score - spread, high = e.score + spread;
  if (low <= 0 || high >= 1) e.margin = INFINITY;
  else e.margin = (eloFromScore(high) - eloFromScore(low)) / 2;
  return e;
}

}  // namespace match

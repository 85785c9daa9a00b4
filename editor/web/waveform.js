// The music's waveform as the top lane: the server's peaks (min and max per bucket, -1..1, several
// buckets a row) reduced to one vertical stroke per pixel column, and the music's onsets marked. Repainted only when the view
// changes; the peaks themselves never change while the page is open.

export function drawWaveform(canvas, state, width, height) {
  const wave = state.wave;
  const signature = `${state.gen.view}|${width}|${height}|${wave ? wave.min.length : 0}`;
  if (canvas.dataset.signature === signature) return;
  canvas.dataset.signature = signature;
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.max(1, Math.round(width * ratio));
  canvas.height = Math.max(1, Math.round(height * ratio));
  const ctx = canvas.getContext('2d');
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, width, height);
  const mid = height / 2;
  ctx.strokeStyle = '#2f394b';
  ctx.beginPath();
  ctx.moveTo(0, mid + 0.5);
  ctx.lineTo(width, mid + 0.5);
  ctx.stroke();
  if (!wave || wave.min.length === 0) return;
  const { start, pxPerRow } = state.view;
  const perBucket = wave.rowsPerBucket;
  const buckets = wave.min.length;
  ctx.fillStyle = '#5fa8d3';
  for (let x = 0; x < width; x++) {
    const b0 = Math.floor((start + x / pxPerRow) / perBucket);
    const b1 = Math.max(b0 + 1, Math.floor((start + (x + 1) / pxPerRow) / perBucket));
    if (b1 <= 0) continue;
    if (b0 >= buckets) break;
    let lo = 1, hi = -1;
    for (let b = Math.max(0, b0); b < Math.min(buckets, b1); b++) {
      if (wave.min[b] < lo) lo = wave.min[b];
      if (wave.max[b] > hi) hi = wave.max[b];
    }
    if (hi < lo) continue;
    const top = mid - hi * (mid - 2);
    const bottom = mid - lo * (mid - 2);
    ctx.fillRect(x, top, 1, Math.max(1, bottom - top));
  }
  // The onsets: a short mark at the top and the bottom of the lane, over the peaks.
  ctx.fillStyle = '#ffd166';
  for (const row of wave.onsets) {
    const x = Math.round((row - start) * pxPerRow);
    if (x < 0 || x >= width) continue;
    ctx.fillRect(x, 0, 1, 7);
    ctx.fillRect(x, height - 7, 1, 7);
  }
}

// Accepts the server's answer only if it is shaped as promised; anything else shows no waveform.
export function takeWaveform(json) {
  if (!json || !Array.isArray(json.min) || !Array.isArray(json.max) || !(json.rows_per_bucket > 0)) return null;
  const onsets = Array.isArray(json.onsets) ? json.onsets.filter(Number.isFinite).sort((a, b) => a - b) : [];
  return { rowsPerBucket: json.rows_per_bucket, min: Float32Array.from(json.min), max: Float32Array.from(json.max), onsets };
}

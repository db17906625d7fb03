// The three plots of a surface, drawn with Chart.js. Each takes the canvas
// and the numbers the server sent; labels are drawn on the canvas, never put
// into the page as markup. Chart.getChart(canvas) gives a drawn chart back.
'use strict';

const TalixPlots = (() => {
  const palette = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#7f7f7f',
                   '#bcbd22', '#17becf'];

  function draw(canvas, config) {
    const old = Chart.getChart(canvas);
    if (old) old.destroy();
    config.options = Object.assign({animation: false, maintainAspectRatio: false, responsive: true}, config.options);
    return new Chart(canvas, config);
  }

  // Singular values, largest first, as bars; each one's share of their total
  // as a line on its own axis (percent).
  function singular(canvas, rows) {
    return draw(canvas, {
      type: 'bar',
      data: {
        labels: rows.map((row) => 'mode ' + row.mode),
        datasets: [
          {label: 'singular value', data: rows.map((row) => row.value), backgroundColor: palette[0], yAxisID: 'y'},
          {label: 'share of the total (%)', type: 'line', data: rows.map((row) => 100 * row.share),
           borderColor: palette[1], backgroundColor: palette[1], yAxisID: 'share'},
        ],
      },
      options: {
        scales: {
          y: {title: {display: true, text: 'singular value'}},
          share: {position: 'right', min: 0, max: 100, grid: {drawOnChartArea: false},
                  title: {display: true, text: 'share (%)'}},
        },
      },
    });
  }

  // One line per mode: its amplitude in each report, by report number.
  function amplitudes(canvas, modes, rows) {
    const datasets = [];
    for (let mode = 0; mode < modes; ++mode) {
      const colour = palette[mode % palette.length];
      datasets.push({label: 'mode ' + mode, data: rows.map((row) => ({x: row.report, y: row.values[mode]})),
                     borderColor: colour, backgroundColor: colour});
    }
    return draw(canvas, {
      type: 'line',
      data: {datasets: datasets},
      options: {
        scales: {
          x: {type: 'linear', title: {display: true, text: 'report number'}, ticks: {precision: 0}},
          y: {title: {display: true, text: 'modal amplitude'}},
        },
      },
    });
  }

  // The mode's value at each node, as a colour from blue (lowest) through
  // white to red (highest), at the node's projected position.
  function mode(canvas, data) {
    const [low, high] = extent(data.points, 2);
    const colours = data.points.map((point) => colourOf(high > low ? (point[2] - low) / (high - low) : 0.5));
    // The same span on both axes, so that the shape is not stretched much.
    const [xLow, xHigh] = extent(data.points, 0);
    const [yLow, yHigh] = extent(data.points, 1);
    const half = Math.max(xHigh - xLow, yHigh - yLow, 1e-12) / 2 * 1.05;
    const centre = [(xLow + xHigh) / 2, (yLow + yHigh) / 2];
    return draw(canvas, {
      type: 'scatter',
      data: {
        datasets: [{label: 'mode ' + data.mode, data: data.points.map((point) => ({x: point[0], y: point[1]})),
                    pointBackgroundColor: colours, pointBorderColor: colours, pointRadius: 4}],
      },
      options: {
        plugins: {legend: {display: false}},
        scales: {
          x: {min: centre[0] - half, max: centre[0] + half, title: {display: true, text: data.axes[0]}},
          y: {min: centre[1] - half, max: centre[1] + half, title: {display: true, text: data.axes[1]}},
        },
      },
    });
  }

  // The smallest and largest of column `index` (a loop: lists may be long).
  function extent(points, index) {
    let low = Infinity;
    let high = -Infinity;
    for (const point of points) {
      low = Math.min(low, point[index]);
      high = Math.max(high, point[index]);
    }
    return points.length ? [low, high] : [0, 0];
  }

  function colourOf(t) {
    const mix = (a, b, s) => Math.round(a + (b - a) * s);
    if (t < 0.5) {
      const s = t / 0.5;
      return 'rgb(' + mix(33, 247, s) + ',' + mix(102, 247, s) + ',' + mix(172, 247, s) + ')';
    }
    const s = (t - 0.5) / 0.5;
    return 'rgb(' + mix(247, 178, s) + ',' + mix(247, 24, s) + ',' + mix(247, 43, s) + ')';
  }

  return {singular, amplitudes, mode};
})();

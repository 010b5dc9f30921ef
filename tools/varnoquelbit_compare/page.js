"use strict";
// The results page: sorting and filtering of the table, hiding runs, and the
// chart, drawn from the JSON in #figures. Texts reach the page only through
// textContent, never as markup.
(function () {
  var figures = JSON.parse(document.getElementById("figures").textContent);
  var table = document.getElementById("results");
  var body = table.tBodies[0];
  var chart = document.getElementById("chart");
  var logBox = document.getElementById("log-scale");
  var svgNS = "http://www.w3.org/2000/svg";
  var sortState = { column: -1, ascending: true };

  function hiddenRuns() {
    var hidden = {};
    document.querySelectorAll("input.run-shown").forEach(function (box) {
      if (!box.checked) hidden[box.dataset.run] = true;
    });
    return hidden;
  }

  function filterValue(id) {
    return document.getElementById(id).value;
  }

  // A row is shown unless a filter or a hidden run leaves it out; the chart
  // draws the rows shown.
  function applyFilters() {
    var hidden = hiddenRuns();
    var drive = filterValue("filter-drive"), test = filterValue("filter-test"),
        day = filterValue("filter-date");
    Array.prototype.forEach.call(body.rows, function (row) {
      var d = row.dataset;
      var shown = !hidden[d.run] && (drive === "" || d.drive === drive) &&
                  (test === "" || d.test === test) && (day === "" || d.day === day);
      row.classList.toggle("hidden", !shown);
    });
    draw();
  }

  function sortBy(column) {
    var ascending = sortState.column === column ? !sortState.ascending : true;
    sortState = { column: column, ascending: ascending };
    var rows = Array.prototype.slice.call(body.rows);
    rows.sort(function (a, b) {
      var x = a.cells[column], y = b.cells[column];
      var result;
      if (x.dataset.value !== undefined || y.dataset.value !== undefined) {
        // Numbers; an empty cell goes last either way.
        var p = x.dataset.value === undefined ? NaN : parseFloat(x.dataset.value);
        var q = y.dataset.value === undefined ? NaN : parseFloat(y.dataset.value);
        if (isNaN(p) || isNaN(q)) return isNaN(p) - isNaN(q);
        result = p - q;
      } else {
        result = x.textContent.localeCompare(y.textContent);
      }
      return ascending ? result : -result;
    });
    rows.forEach(function (row) { body.appendChild(row); });
    Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, index) {
      if (index === column) th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
      else th.removeAttribute("aria-sort");
    });
  }

  function svg(name, attributes, parent) {
    var element = document.createElementNS(svgNS, name);
    Object.keys(attributes).forEach(function (key) { element.setAttribute(key, attributes[key]); });
    parent.appendChild(element);
    return element;
  }

  function label(parent, x, y, text, anchor) {
    var element = svg("text", { x: x, y: y, "text-anchor": anchor || "middle" }, parent);
    element.textContent = text;
    return element;
  }

  // Up to three lines of about 26 characters, broken at blanks.
  function lines(text) {
    var words = text.split(" "), result = [""];
    words.forEach(function (word) {
      var last = result.length - 1;
      if (result[last] && (result[last] + " " + word).length > 26) result.push(word);
      else result[last] = result[last] ? result[last] + " " + word : word;
    });
    if (result.length > 3) result = result.slice(0, 2).concat([result.slice(2).join(" ").slice(0, 24) + "\u2026"]);
    return result;
  }

  function niceStep(span) {
    var step = Math.pow(10, Math.floor(Math.log10(span / 5)));
    [1, 2, 5, 10].some(function (m) { if (span / (step * m) <= 6) { step *= m; return true; } return false; });
    return step;
  }

  function draw() {
    while (chart.firstChild) chart.removeChild(chart.firstChild);
    var entries = [];
    Array.prototype.forEach.call(body.rows, function (row) {
      if (!row.classList.contains("hidden") && row.dataset.entry !== undefined)
        entries.push(figures.entries[+row.dataset.entry]);
    });
    var width = 960, height = 420, left = 70, right = 20, top = 20, bottom = 70;
    chart.setAttribute("viewBox", "0 0 " + width + " " + height);
    var speeds = [];
    entries.forEach(function (e) { speeds.push(e.average); speeds = speeds.concat(e.trials); });
    if (!speeds.length) {
      label(chart, width / 2, height / 2, "No run shown");
      return;
    }
    var low = Math.min.apply(null, speeds), high = Math.max.apply(null, speeds);
    var log = logBox.checked && low > 0;
    var bottomValue, topValue, ticks = [];
    if (log) {
      bottomValue = Math.pow(10, Math.floor(Math.log10(low)));
      topValue = Math.pow(10, Math.ceil(Math.log10(high)));
      if (topValue <= bottomValue) topValue = bottomValue * 10;
      for (var t = bottomValue; t <= topValue * 1.0001; t *= 10) ticks.push(t);
    } else {
      var step = niceStep(high > 0 ? high : 1);
      bottomValue = 0;
      topValue = Math.ceil(high / step) * step || step;
      for (var k = 0; k * step <= topValue * 1.0001; ++k) ticks.push(k * step);
    }
    function y(value) {
      var share = log ? (Math.log10(value) - Math.log10(bottomValue)) /
                        (Math.log10(topValue) - Math.log10(bottomValue))
                      : (value - bottomValue) / (topValue - bottomValue);
      return top + (1 - share) * (height - top - bottom);
    }
    ticks.forEach(function (tick) {
      svg("line", { x1: left, x2: width - right, y1: y(tick), y2: y(tick), "class": "grid" }, chart);
      label(chart, left - 6, y(tick) + 4, String(+tick.toPrecision(6)), "end");
    });
    svg("line", { x1: left, x2: left, y1: top, y2: height - bottom, "class": "axis" }, chart);
    svg("line", { x1: left, x2: width - right, y1: height - bottom, y2: height - bottom, "class": "axis" }, chart);
    var yTitle = label(chart, 0, 0, "MB/s" + (log ? " (log scale)" : ""));
    yTitle.setAttribute("transform", "translate(16," + (top + (height - top - bottom) / 2) + ") rotate(-90)");

    // One group per test, one slot per run in it.
    var tests = [], byTest = {};
    entries.forEach(function (e) {
      if (!byTest[e.test]) { byTest[e.test] = []; tests.push(e.test); }
      byTest[e.test].push(e);
    });
    var groupWidth = (width - left - right) / tests.length;
    tests.forEach(function (test, group) {
      var inGroup = byTest[test].slice().sort(function (a, b) { return a.run - b.run; });
      var slot = groupWidth * 0.8 / inGroup.length;
      var x0 = left + group * groupWidth + groupWidth * 0.1;
      lines(figures.tests[test]).forEach(function (line, number) {
        label(chart, x0 + groupWidth * 0.4, height - bottom + 16 + 13 * number, line);
      });
      inGroup.forEach(function (e, position) {
        var colour = figures.colours[e.run % figures.colours.length];
        var centre = x0 + slot * (position + 0.5);
        svg("rect", { x: centre - slot * 0.4, width: slot * 0.8, y: y(e.average),
                      height: Math.max(0, height - bottom - y(e.average)), fill: colour,
                      "fill-opacity": 0.25, "class": "bar" }, chart);
        var average = svg("line", { x1: centre - slot * 0.4, x2: centre + slot * 0.4,
                                    y1: y(e.average), y2: y(e.average), stroke: colour,
                                    "class": "average", "data-run": e.run }, chart);
        svg("title", {}, average).textContent = figures.runs[e.run] + ", average: " +
            e.average.toFixed(3) + " MB/s";
        e.trials.forEach(function (speed, number) {
          var offset = e.trials.length > 1 ? (number / (e.trials.length - 1) - 0.5) * slot * 0.5 : 0;
          var point = svg("circle", { cx: centre + offset, cy: y(speed), r: 4, fill: colour,
                                      "class": "trial", "data-run": e.run }, chart);
          svg("title", {}, point).textContent = figures.runs[e.run] + ", trial " +
              (number + 1) + ": " + speed.toFixed(3) + " MB/s";
        });
      });
    });
  }

  Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, index) {
    th.addEventListener("click", function () { sortBy(index); });
  });
  ["filter-drive", "filter-test", "filter-date"].forEach(function (id) {
    document.getElementById(id).addEventListener("change", applyFilters);
  });
  document.querySelectorAll("input.run-shown").forEach(function (box) {
    box.addEventListener("change", applyFilters);
  });
  logBox.addEventListener("change", draw);
  applyFilters();
})();

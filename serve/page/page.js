"use strict";
// Refreshes the figures and the picture without reloading the page.
async function refresh() {
    const response = await fetch("/status.json", {cache: "no-store"});
    const status = await response.json();
    document.getElementById("frames").textContent = status.frames;
    document.getElementById("latest").src = "/latest.jpg?" + Date.now();
}
refresh();
setInterval(refresh, 5000);
